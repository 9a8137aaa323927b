// State publishing to 32 paired surfaces at 30 Hz with waveforms, as a share of one core.
//
// A child process holds the 32 surfaces (it pairs them and reads everything), so the CPU time this
// process spends is the server thread's plus the publishing tick's. Each iteration is one second:
// 30 state documents of four playing decks, plus one deck changing its track (an overview and a
// 200000-column detail frame to all 32 surfaces).

#include "control/link/LinkProtocol.h"
#include "control/link/LinkServer.h"
#include "dsp/Waveform.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSurfaces = 32;
const char* kCode = "5150";

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The child: connects, pairs and drains 32 sockets until killed.
[[noreturn]] void surfaces(int portPipe) {
    int port = 0;
    if (read(portPipe, &port, sizeof port) != sizeof port) _exit(1);
    std::vector<pollfd> fds;
    for (int i = 0; i < kSurfaces; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) _exit(1);
        std::string hello = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
        const std::string text = std::string("{\"t\":\"hello\",\"pair\":\"") + kCode + "\"}";
        hello += static_cast<char>(0x81);
        hello += static_cast<char>(text.size()); // unmasked: the server accepts it
        hello += text;
        if (::send(s, hello.data(), hello.size(), 0) < 0) _exit(1);
        fds.push_back({s, POLLIN, 0});
    }
    static char buf[1 << 16];
    for (;;) {
        if (::poll(fds.data(), fds.size(), 1000) < 0) continue;
        for (pollfd& p : fds)
            if (p.revents & POLLIN)
                if (::recv(p.fd, buf, sizeof buf, 0) == 0) _exit(0);
    }
}

void BM_PublishTo32Surfaces(benchmark::State& state) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    const pid_t child = fork();
    if (child == 0) surfaces(pipeFds[0]);

    vyn::LinkServer server;
    vyn::LinkSettings settings;
    settings.port = 0;
    settings.loopbackOnly = true;
    settings.pairingCode = kCode;
    settings.connectionLimit = kSurfaces;
    server.start(settings, nullptr);
    const int port = server.port();
    if (write(pipeFds[1], &port, sizeof port) != sizeof port) state.SkipWithError("no child");
    for (int i = 0; i < 500 && server.connectedCount() < kSurfaces; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    vyn::Waveform track;
    track.columns.resize(300000);
    for (std::size_t i = 0; i < track.columns.size(); ++i)
        track.columns[i] = {static_cast<std::uint8_t>(i % 32), static_cast<std::uint8_t>(i % 8), 3,
                            5};
    const vyn::Waveform overview = vyn::reduceWaveform(track, vyn::kOverviewColumnLimit);
    const vyn::Waveform detail = vyn::reduceWaveform(track, vyn::kDetailColumnLimit);

    vyn::EngineSnapshot snap;
    vyn::LinkDeckRecord records[16];
    for (int d = 0; d < 4; ++d) {
        snap.decks[d].state = 2;
        snap.decks[d].length = 48000 * 300;
        snap.decks[d].bpm = 124.0f;
        snap.decks[d].hasGrid = true;
        records[d].name = "Track " + std::to_string(d + 1);
        records[d].trackId = d + 1;
        records[d].waveColumns = static_cast<std::int32_t>(track.columns.size());
    }
    vyn::LinkStateInput input;
    input.deckCount = 4;
    input.decks = records;
    input.snapshot = &snap;

    std::int32_t nextTrack = 5;
    double cpu = 0.0, wall = 0.0;
    for (auto _ : state) {
        const double cpu0 = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const int deck = nextTrack % 4;
        server.publishWaveform(deck, nextTrack, vyn::kWaveOverview,
                               static_cast<float>(overview.columnsPerSecond),
                               overview.columns.data(), overview.columns.size());
        server.publishWaveform(deck, nextTrack, vyn::kWaveDetail,
                               static_cast<float>(detail.columnsPerSecond), detail.columns.data(),
                               detail.columns.size());
        ++nextTrack;
        for (int tick = 0; tick < 30; ++tick) {
            for (int d = 0; d < 4; ++d) {
                snap.decks[d].position += 1600.0;
                snap.decks[d].beat += 0.0689;
            }
            server.publishState(vyn::buildStateDocument(input));
            std::this_thread::sleep_until(start + std::chrono::microseconds(33333 * (tick + 1)));
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += cpuSeconds() - cpu0;
    }
    state.counters["surfaces"] = server.connectedCount();
    state.counters["core_percent"] = wall > 0 ? 100.0 * cpu / wall : 0.0;
    server.stop();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(pipeFds[0]);
    close(pipeFds[1]);
}
BENCHMARK(BM_PublishTo32Surfaces)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
