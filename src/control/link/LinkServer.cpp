#include "control/link/LinkServer.h"

#include "control/link/HttpRequest.h"
#include "control/link/PairingGuard.h"
#include "control/link/WebSocketReader.h"
#include "dsp/Waveform.h"

#include <algorithm>
#include <optional>

namespace vyn {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kSlots = 32; // 16 decks x 2 kinds; slot = deck * 2 + kind

enum class FrameKind : std::uint8_t { Reply, State, Wave };

struct OutFrame {
    FrameKind kind = FrameKind::Reply;
    int slot = -1;
    std::shared_ptr<const std::string> bytes;
    std::size_t offset = 0;
};

constexpr std::size_t kJoinedReplyBytes = 16 * 1024;

std::shared_ptr<const std::string> shared(std::string s) {
    return std::make_shared<const std::string>(std::move(s));
}

} // namespace

struct LinkConnection {
    net::SocketHandle socket = net::kInvalidSocket;
    std::uint32_t peer = 0;
    std::string request;
    WebSocketReader reader;
    bool upgraded = false;
    bool paired = false;
    bool closing = false;    // nothing more is handled; what is queued still goes out
    bool dead = false;       // closed at the end of this pass, whatever is queued
    bool peerClosed = false; // the peer sent its end of stream
    bool finSent = false;    // ours went out after the last queued byte
    std::optional<std::string> pendingHello; // waiting for the peer's wrong-code back-off

    std::deque<OutFrame> out;
    std::size_t outBytes = 0;               // bytes still to send over all of `out`
    std::shared_ptr<std::string> openReply; // the last queued reply, while more may join it

    std::shared_ptr<const std::string> lastState; // state text last queued
    std::uint64_t waveSent[kSlots] = {};

    Clock::time_point accepted;
    Clock::time_point lastReceived;
    Clock::time_point lastPing;
    Clock::time_point pairDeadline;
    Clock::time_point closeDeadline;

    void queue(FrameKind kind, std::shared_ptr<const std::string> bytes, int slot = -1) {
        outBytes += bytes->size();
        out.push_back({kind, slot, std::move(bytes), 0});
    }
    // Replies that follow one another go out as one piece: a burst of pongs sent frame by frame
    // would be as many tiny TCP segments, and a peer's receive buffer fills with their overhead
    // long before its advertised window does (the stream then stalls in retransmissions).
    void reply(std::string bytes) {
        outBytes += bytes.size();
        if (openReply && !out.empty() && out.back().bytes == openReply && out.back().offset == 0 &&
            openReply->size() + bytes.size() <= kJoinedReplyBytes) {
            openReply->append(bytes);
            return;
        }
        openReply = std::make_shared<std::string>(std::move(bytes));
        out.push_back({FrameKind::Reply, -1, openReply, 0});
    }
    // Replaces a queued frame that has not started to go out; false when there is none.
    bool replaceUnsent(FrameKind kind, int slot, const std::shared_ptr<const std::string>& bytes) {
        for (OutFrame& f : out) {
            if (f.kind != kind || f.slot != slot || f.offset != 0) continue;
            outBytes = outBytes - f.bytes->size() + bytes->size();
            f.bytes = bytes;
            return true;
        }
        return false;
    }
    void close(Clock::time_point now, int lingerMs) {
        if (closing) return;
        closing = true;
        closeDeadline = now + milliseconds(lingerMs);
    }
    void abandon() {
        closing = true;
        dead = true;
        out.clear();
        outBytes = 0;
    }
    // Drops every frame that has not started to go out (a frame already on the wire must
    // finish, or the stream would be corrupt).
    void dropUnsent() {
        std::deque<OutFrame> kept;
        for (OutFrame& f : out) {
            if (f.offset > 0) {
                kept.push_back(std::move(f));
                continue;
            }
            outBytes -= f.bytes->size();
        }
        out.swap(kept);
    }
};

// Everything the server thread owns while it runs.
struct LinkServer::Loop {
    LinkServer& server;
    const LinkSettings& settings;
    std::vector<std::unique_ptr<LinkConnection>> connections;
    PairingGuard guard;
    std::shared_ptr<const std::string> page;
    Clock::time_point nextPush;
    Clock::time_point acceptPausedUntil;
    std::vector<WebSocketMessage> messages;
    std::vector<net::PollEntry> pollSet;
    char buffer[4096];

    Loop(LinkServer& s, const LinkSettings& st)
        : server(s), settings(st),
          guard(milliseconds(st.wrongCodeWaitMs),
                milliseconds(std::max(st.wrongCodeWaitMs, st.wrongCodeWaitCapMs))) {
        std::string body = settings.pageProvider ? settings.pageProvider() : std::string("VYN");
        page = shared(pageResponse(body));
    }

    ~Loop() {
        for (auto& c : connections)
            net::closeSocket(c->socket);
    }

    int intervalMs() const {
        const int rate = settings.stateRate > 0 ? settings.stateRate : 30;
        return std::max(1, 1000 / rate);
    }

    void pass();
    void retire(Clock::time_point now);
    void acceptAll(Clock::time_point now);
    void reply(LinkConnection& c, std::string bytes);
    void enforceOutputLimit(LinkConnection& c);
    void failProtocol(LinkConnection& c, std::uint16_t closeCode, Clock::time_point now);
    void deliver(LinkConnection& c, const char* data, std::size_t size, Clock::time_point now);
    void readFrom(LinkConnection& c, Clock::time_point now);
    void onHttp(LinkConnection& c, Clock::time_point now);
    void onMessage(LinkConnection& c, WebSocketMessage& m, Clock::time_point now);
    void onText(LinkConnection& c, const std::string& text, Clock::time_point now);
    void onHello(LinkConnection& c, std::string code, Clock::time_point now);
    void judgeHello(LinkConnection& c, const std::string& code, Clock::time_point now);
    void housekeeping(LinkConnection& c, Clock::time_point now);
    void queueState();
    void queueWaves();
    void sendTo(LinkConnection& c, Clock::time_point now);
    void dropBacklog(LinkConnection& c);
};

void LinkServer::Loop::pass() {
    Clock::time_point now = Clock::now();
    const auto untilPush = std::chrono::ceil<milliseconds>(nextPush - now).count();
    const int timeout = static_cast<int>(std::clamp<long long>(untilPush, 0, 50));

    pollSet.clear();
    const bool listening = now >= acceptPausedUntil;
    if (listening) pollSet.push_back({server.listener_, true, false});
    // Closing connections are still read (and what arrives discarded) until the peer ends its
    // stream: closing a socket with unread input resets it, and the peer might lose our last
    // frames.
    for (auto& c : connections)
        pollSet.push_back({c->socket, !c->peerClosed, c->outBytes > 0});
    net::pollSockets(pollSet, timeout);
    now = Clock::now();

    if (listening && pollSet[0].readable) acceptAll(now);
    const std::size_t first = listening ? 1 : 0;
    for (std::size_t i = 0; i + first < pollSet.size() && i < connections.size(); ++i)
        if (pollSet[i + first].readable && !connections[i]->peerClosed)
            readFrom(*connections[i], now);

    for (auto& c : connections) {
        if (c->pendingHello && !c->closing && guard.mayTry(c->peer, now)) {
            std::string code = std::move(*c->pendingHello);
            c->pendingHello.reset();
            judgeHello(*c, code, now);
        }
        housekeeping(*c, now);
    }

    if (now >= nextPush) {
        nextPush = now + milliseconds(intervalMs());
        queueState();
    }
    queueWaves();

    std::size_t waiting = 0;
    for (auto& c : connections) {
        if (c->outBytes > 0) sendTo(*c, now);
        waiting += c->outBytes;
    }
    retire(now);
    server.waitingBytes_.store(waiting);
    server.connected_.store(static_cast<int>(connections.size()));
    server.passes_.fetch_add(1);
}

void LinkServer::Loop::retire(Clock::time_point now) {
    for (std::size_t i = connections.size(); i-- > 0;) {
        LinkConnection& c = *connections[i];
        if (!c.closing) continue;
        if (!c.dead && now < c.closeDeadline) {
            if (c.outBytes > 0) continue;
            if (!c.peerClosed) {
                // Everything went out: end our side and wait for the peer to end its own.
                if (!c.finSent) net::shutdownSend(c.socket);
                c.finSent = true;
                continue;
            }
        }
        net::closeSocket(c.socket);
        connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void LinkServer::Loop::reply(LinkConnection& c, std::string bytes) {
    c.reply(std::move(bytes));
    enforceOutputLimit(c);
}

void LinkServer::Loop::enforceOutputLimit(LinkConnection& c) {
    if (c.outBytes <= settings.outputLimitBytes) return;
    // Past the limit, what can be sent again later goes. A peer that makes us answer faster than
    // it reads (pings, hellos) would still grow the queue without end: when the answers alone
    // pass the limit (besides a frame already on the wire), the connection is cut.
    dropBacklog(c);
    std::size_t onTheWire = 0;
    if (!c.out.empty() && c.out.front().offset > 0)
        onTheWire = c.out.front().bytes->size() - c.out.front().offset;
    if (c.outBytes - onTheWire > settings.outputLimitBytes) c.abandon();
}

void LinkServer::Loop::failProtocol(LinkConnection& c, std::uint16_t closeCode,
                                    Clock::time_point now) {
    // Nothing queued matters any more; the close frame tells the peer why, and then we hang up.
    c.dropUnsent();
    c.reply(webSocketCloseFrame(closeCode));
    c.close(now, settings.closeLingerMs);
}

void LinkServer::Loop::acceptAll(Clock::time_point now) {
    for (;;) {
        const net::AcceptResult r = net::acceptConnection(server.listener_);
        if (r.status == net::AcceptStatus::NoneWaiting || r.status == net::AcceptStatus::Error)
            return;
        if (r.status == net::AcceptStatus::OutOfDescriptors) {
            // The pending connection stays in the backlog and the socket stays readable: stop
            // watching it for a moment instead of spinning on the same failure.
            acceptPausedUntil = now + milliseconds(250);
            return;
        }
        if (static_cast<int>(connections.size()) >= settings.connectionLimit ||
            !net::setNonBlocking(r.socket)) {
            net::closeSocket(r.socket);
            continue;
        }
        net::setNoDelay(r.socket);
        if (settings.socketSendBuffer > 0) net::setSendBuffer(r.socket, settings.socketSendBuffer);
        auto c = std::make_unique<LinkConnection>();
        c->socket = r.socket;
        c->peer = r.peerAddress;
        c->accepted = c->lastReceived = c->lastPing = now;
        connections.push_back(std::move(c));
    }
}

void LinkServer::Loop::readFrom(LinkConnection& c, Clock::time_point now) {
    // A budget per pass: a peer that sends faster than we read must not hold the one thread
    // every other surface is served by.
    for (std::size_t budget = settings.readBudgetBytes; budget > 0;) {
        const net::IoResult r = net::receive(c.socket, buffer, std::min(sizeof buffer, budget));
        if (r.status == net::IoStatus::WouldBlock) return;
        if (r.status == net::IoStatus::Closed) {
            // The peer will send nothing more; it may still read what is queued for it.
            c.peerClosed = true;
            c.close(now, settings.closeLingerMs);
            return;
        }
        if (r.status != net::IoStatus::Ok) {
            c.abandon();
            return;
        }
        budget -= r.bytes;
        c.lastReceived = now;
        if (c.closing) continue; // drained and dropped until the peer ends its stream
        if (!c.upgraded) {
            c.request.append(buffer, r.bytes);
            if (c.request.size() > kHttpRequestLimit) {
                c.abandon();
                return;
            }
            onHttp(c, now);
            continue;
        }
        deliver(c, buffer, r.bytes, now);
    }
}

void LinkServer::Loop::deliver(LinkConnection& c, const char* data, std::size_t size,
                               Clock::time_point now) {
    messages.clear();
    const bool ok = c.reader.feed(data, size, messages);
    // Messages before a protocol error were well-formed and are handled first.
    for (WebSocketMessage& m : messages) {
        if (c.closing) break;
        onMessage(c, m, now);
    }
    if (!ok && !c.closing) failProtocol(c, c.reader.closeCode(), now);
}

void LinkServer::Loop::onHttp(LinkConnection& c, Clock::time_point now) {
    HttpRequest request;
    const HttpParse status = parseHttpRequest(c.request, request);
    if (status == HttpParse::Incomplete) return;
    if (status == HttpParse::Malformed) {
        c.abandon();
        return;
    }
    if (!wantsWebSocket(request)) {
        c.queue(FrameKind::Reply, page);
        c.close(now, settings.closeLingerMs);
        return;
    }
    if (!originMatchesHost(request)) {
        c.reply(forbiddenResponse());
        c.close(now, settings.closeLingerMs);
        return;
    }
    c.reply(upgradeResponse(webSocketAccept(request.webSocketKey)));
    c.upgraded = true;
    c.paired = settings.pairingCode.empty();
    c.pairDeadline = now + milliseconds(settings.pairTimeoutMs);
    // Bytes a client sent right behind its handshake already belong to the WebSocket stream.
    const std::string rest = c.request.substr(request.headerBytes);
    c.request.clear();
    c.request.shrink_to_fit();
    if (!rest.empty()) deliver(c, rest.data(), rest.size(), now);
}

void LinkServer::Loop::onMessage(LinkConnection& c, WebSocketMessage& m, Clock::time_point now) {
    switch (m.opcode) {
    case ws_opcode::CLOSE: {
        // The closing handshake: echo the peer's status code (the reader checked it), or an
        // empty close for an empty one, and send nothing after it.
        c.dropUnsent();
        reply(c, webSocketFrame(ws_opcode::CLOSE, std::string_view(m.payload).substr(0, 2)));
        c.close(now, settings.closeLingerMs);
        break;
    }
    case ws_opcode::PING:
        reply(c, webSocketFrame(ws_opcode::PONG, m.payload));
        break;
    case ws_opcode::TEXT:
        onText(c, m.payload, now);
        break;
    default:
        break; // binary and pong messages carry nothing for us
    }
}

void LinkServer::Loop::onText(LinkConnection& c, const std::string& text, Clock::time_point now) {
    LinkMessage m = parseLinkMessage(text);
    switch (m.kind) {
    case LinkMessageKind::Command:
        if (!c.paired) return;
        server.commands_.fetch_add(1);
        if (server.onIntent_) server.onIntent_(m.intent);
        return;
    case LinkMessageKind::Browse:
        if (!c.paired) return;
        {
            std::lock_guard<std::mutex> lock(server.browseMutex_);
            if (server.browse_.size() < kBrowseQueueLimit) server.browse_.push_back(m.browse);
        }
        return;
    case LinkMessageKind::Hello:
        onHello(c, std::move(m.pair), now);
        return;
    case LinkMessageKind::Ignored:
        return;
    }
}

void LinkServer::Loop::onHello(LinkConnection& c, std::string code, Clock::time_point now) {
    if (!c.pendingHello && guard.mayTry(c.peer, now)) {
        judgeHello(c, code, now);
        return;
    }
    // This address answered wrongly a moment ago: the attempt waits for its turn. A newer attempt
    // on the same connection replaces an older one.
    c.pendingHello = std::move(code);
    const Clock::time_point turn = guard.readyAt(c.peer, now);
    c.pairDeadline = std::max(c.pairDeadline, turn + milliseconds(settings.pairTimeoutMs));
}

void LinkServer::Loop::judgeHello(LinkConnection& c, const std::string& code,
                                  Clock::time_point now) {
    if (code == settings.pairingCode) {
        c.paired = true;
        guard.rightCode(c.peer);
        reply(c, webSocketFrame(ws_opcode::TEXT, "{\"t\":\"paired\"}"));
        return;
    }
    server.wrongCodes_.fetch_add(1);
    guard.wrongCode(c.peer, now);
    reply(c, webSocketFrame(ws_opcode::TEXT, "{\"t\":\"denied\"}"));
    c.paired = false;
    c.close(now, settings.closeLingerMs);
}

void LinkServer::Loop::housekeeping(LinkConnection& c, Clock::time_point now) {
    if (c.closing) return;
    if (!c.upgraded) {
        if (now - c.accepted > milliseconds(settings.requestTimeoutMs)) c.abandon();
        return;
    }
    if (now - c.lastReceived > milliseconds(settings.silenceTimeoutMs)) {
        c.abandon(); // half-open: the peer vanished without a word
        return;
    }
    if (!c.paired && now > c.pairDeadline) {
        c.abandon();
        return;
    }
    if (now - c.lastReceived > milliseconds(settings.pingAfterMs) &&
        now - c.lastPing > milliseconds(settings.pingAfterMs)) {
        c.lastPing = now;
        reply(c, webSocketFrame(ws_opcode::PING, {}));
    }
}

void LinkServer::Loop::queueState() {
    std::shared_ptr<const std::string> text, frame;
    {
        std::lock_guard<std::mutex> lock(server.stateMutex_);
        text = server.stateText_;
        frame = server.stateFrame_;
    }
    if (!text || text->empty()) return;
    for (auto& c : connections) {
        if (!c->upgraded || !c->paired || c->closing) continue;
        if (c->lastState == text || (c->lastState && *c->lastState == *text)) continue;
        c->lastState = text;
        // A state still waiting in the queue is out of date: the new one takes its place.
        if (!c->replaceUnsent(FrameKind::State, -1, frame)) c->queue(FrameKind::State, frame);
    }
}

void LinkServer::Loop::queueWaves() {
    WaveSlot slots[kSlots];
    {
        std::lock_guard<std::mutex> lock(server.waveMutex_);
        for (int deck = 0; deck < 16; ++deck)
            for (int kind = 0; kind < 2; ++kind)
                slots[deck * 2 + kind] = server.waves_[deck][kind];
    }
    for (auto& c : connections) {
        if (!c->upgraded || !c->paired || c->closing) continue;
        // Overviews first (small, and they show the whole track at once), then the details. Big
        // frames go one after another so that a newly paired surface is not sent every frame at
        // once, more than its backlog may hold.
        for (int pass = 0; pass < 2; ++pass) {
            const int kind = pass == 0 ? kWaveOverview : kWaveDetail;
            for (int deck = 0; deck < 16; ++deck) {
                const int slot = deck * 2 + kind;
                const WaveSlot& w = slots[slot];
                if (c->waveSent[slot] == w.version) continue;
                if (!w.frame) {
                    c->waveSent[slot] = w.version;
                    continue;
                }
                if (c->replaceUnsent(FrameKind::Wave, slot, w.frame)) {
                    c->waveSent[slot] = w.version;
                    continue;
                }
                if (c->outBytes >= settings.waveStepBytes) continue;
                c->waveSent[slot] = w.version;
                c->queue(FrameKind::Wave, w.frame, slot);
            }
        }
    }
}

void LinkServer::Loop::sendTo(LinkConnection& c, Clock::time_point now) {
    (void)now;
    while (!c.out.empty()) {
        OutFrame& f = c.out.front();
        const std::size_t left = f.bytes->size() - f.offset;
        const net::IoResult r = net::sendSome(c.socket, f.bytes->data() + f.offset, left);
        if (r.status == net::IoStatus::WouldBlock ||
            (r.status == net::IoStatus::Ok && r.bytes == 0)) {
            enforceOutputLimit(c);
            return;
        }
        if (r.status != net::IoStatus::Ok) {
            c.abandon();
            return;
        }
        f.offset += r.bytes;
        c.outBytes -= r.bytes;
        if (f.offset == f.bytes->size()) c.out.pop_front();
    }
}

void LinkServer::Loop::dropBacklog(LinkConnection& c) {
    // A slow reader: discard whole frames that have not started to go out (a frame already on the
    // wire must finish, or the stream would be corrupt). Replies are small and must not be lost;
    // dropped waveforms are sent again later and the next state goes out in full.
    std::deque<OutFrame> kept;
    for (OutFrame& f : c.out) {
        if (f.offset > 0 || f.kind == FrameKind::Reply) {
            kept.push_back(std::move(f));
            continue;
        }
        c.outBytes -= f.bytes->size();
        if (f.kind == FrameKind::State) c.lastState.reset();
        if (f.kind == FrameKind::Wave) c.waveSent[f.slot] = 0;
    }
    c.out.swap(kept);
}

LinkServer::LinkServer() = default;

LinkServer::~LinkServer() {
    stop();
}

bool LinkServer::start(LinkSettings settings, LinkIntentCallback onIntent) {
    stop();
    if (!net::initialise()) return false;
    const net::ListenResult l = net::listenTcp(settings.port, 8, settings.loopbackOnly);
    if (l.socket == net::kInvalidSocket) return false;
    settings_ = std::move(settings);
    onIntent_ = std::move(onIntent);
    listener_ = l.socket;
    port_.store(l.port);
    connected_.store(0);
    passes_.store(0);
    running_.store(true, std::memory_order_release);
    thread_ = std::thread([this] { run(); });
    return true;
}

void LinkServer::stop() {
    running_.store(false, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    if (listener_ != net::kInvalidSocket) {
        net::closeSocket(listener_);
        listener_ = net::kInvalidSocket;
    }
    connected_.store(0);
    waitingBytes_.store(0);
}

void LinkServer::run() {
    Loop loop(*this, settings_);
    loop.nextPush = Clock::now();
    while (running_.load(std::memory_order_acquire))
        loop.pass();
}

void LinkServer::publishState(std::string text) {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (stateText_ && *stateText_ == text) return;
    }
    auto frame = shared(webSocketFrame(ws_opcode::TEXT, text));
    auto owned = shared(std::move(text));
    std::lock_guard<std::mutex> lock(stateMutex_);
    stateText_ = std::move(owned);
    stateFrame_ = std::move(frame);
}

void LinkServer::publishWaveform(int deck, std::int32_t trackId, int kind, float columnsPerSecond,
                                 const WaveColumn* columns, std::size_t count) {
    if (deck < 0 || deck >= 16 || (kind != kWaveDetail && kind != kWaveOverview)) return;
    std::shared_ptr<const std::string> frame;
    if (columns && count > 0) {
        const std::string payload =
            buildWaveformPayload(deck, trackId, kind, columnsPerSecond, columns, count);
        frame = shared(webSocketFrame(ws_opcode::BINARY, payload));
    }
    std::lock_guard<std::mutex> lock(waveMutex_);
    waves_[deck][kind].frame = std::move(frame);
    ++waves_[deck][kind].version;
}

bool LinkServer::popBrowseIntent(BrowseIntent& out) {
    std::lock_guard<std::mutex> lock(browseMutex_);
    if (browse_.empty()) return false;
    out = browse_.front();
    browse_.pop_front();
    return true;
}

} // namespace vyn
