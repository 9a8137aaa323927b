#pragma once
// The Link server: one thread that owns a listening socket and every connection, serves the
// remote page over HTTP, upgrades to WebSocket, pairs surfaces with the four-digit code, pushes the
// mix state and the waveform frames, and hands surface commands to the application.
//
// Threading: start/stop from one owning thread. publishState, publishWaveform, popBrowseIntent and
// the counters may be called from any thread (the stores have their own mutexes; counters are
// atomics). The intent callback runs on the server thread and must only post (it must not call
// start or stop).

#include "control/link/LinkProtocol.h"
#include "control/link/SocketLayer.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vyn {

struct WaveColumn;

struct LinkSettings {
    std::uint16_t port = 17999;
    std::string pairingCode; // empty: every connection is paired at upgrade
    int stateRate = 30;      // pushes per second; 0 or less means 30
    int connectionLimit = 8;
    std::function<std::string()> pageProvider; // asked once at start; "VYN" when absent

    // Housekeeping and protection. The defaults are the product's; tests shorten them.
    int requestTimeoutMs = 10000; // an HTTP request must arrive whole within this
    int pairTimeoutMs = 60000;    // an upgraded connection must pair within this
    int pingAfterMs = 15000;      // silence before the server pings a WebSocket peer
    int silenceTimeoutMs = 35000; // silence after which a peer counts as gone
    int closeLingerMs = 5000;     // a closing connection's last output may take this long
    int wrongCodeWaitMs = 1000;   // first wait after a wrong code; doubles per wrong code
    int wrongCodeWaitCapMs = 30000;
    // Output waiting for a connection beyond this is dropped (whole frames, state and waveforms
    // only); a connection whose answers alone pass it is cut.
    std::size_t outputLimitBytes = 1048576;
    std::size_t waveStepBytes = 65536;   // a waveform frame is queued only below this backlog
    std::size_t readBudgetBytes = 65536; // read from one connection per loop pass
    bool loopbackOnly = false;           // listen on 127.0.0.1 only
    int socketSendBuffer = 0;            // kernel send buffer per connection; 0 = the system's
};

using LinkIntentCallback = std::function<void(const LinkIntent&)>;

struct LinkConnection;

class LinkServer {
public:
    LinkServer();
    ~LinkServer();
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    // Stops a running server first. False (nothing left running) when the socket cannot be opened.
    bool start(LinkSettings settings, LinkIntentCallback onIntent);
    void stop();
    bool running() const { return running_.load(std::memory_order_acquire); }

    int port() const { return port_.load(); }
    int connectedCount() const { return connected_.load(); }
    int wrongCodeCount() const { return wrongCodes_.load(); }
    std::uint64_t commandsReceived() const { return commands_.load(); }
    // Diagnostics: loop passes since start, and output bytes waiting over all connections.
    std::uint64_t loopPasses() const { return passes_.load(); }
    std::size_t waitingOutputBytes() const { return waitingBytes_.load(); }

    // Replaces the state text; connections get it at the next push unless they already have it.
    void publishState(std::string text);
    // Replaces the frame of (deck 0-15, kind 0/1) and bumps its version; no columns = empty frame.
    void publishWaveform(int deck, std::int32_t trackId, int kind, float columnsPerSecond,
                         const WaveColumn* columns, std::size_t count);

    bool popBrowseIntent(BrowseIntent& out);
    static constexpr std::size_t kBrowseQueueLimit = 64;

private:
    using Clock = std::chrono::steady_clock;
    struct WaveSlot {
        std::shared_ptr<const std::string> frame; // whole WebSocket frame; null when empty
        std::uint64_t version = 0;
    };
    struct Loop;

    void run();

    LinkSettings settings_;
    LinkIntentCallback onIntent_;
    net::SocketHandle listener_ = net::kInvalidSocket;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int> port_{0};
    std::atomic<int> connected_{0};
    std::atomic<int> wrongCodes_{0};
    std::atomic<std::uint64_t> commands_{0};
    std::atomic<std::uint64_t> passes_{0};
    std::atomic<std::size_t> waitingBytes_{0};

    std::mutex stateMutex_;
    std::shared_ptr<const std::string> stateText_;  // guarded by stateMutex_
    std::shared_ptr<const std::string> stateFrame_; // guarded by stateMutex_

    std::mutex waveMutex_;
    WaveSlot waves_[16][2]; // guarded by waveMutex_

    std::mutex browseMutex_;
    std::deque<BrowseIntent> browse_; // guarded by browseMutex_
};

} // namespace vyn
