// Latency from a surface's command to the engine applying it: a paired WebSocket client on the
// loopback interface sends a command, the Link server thread posts it on the Link ring, the audio
// thread of the silent output (256-frame blocks at 48 kHz) applies it, and the applied-command
// ring shows it. The block period (5.3 ms) is the floor of what the engine can do.

#include "audio/NullAudioDevice.h"
#include "control/link/LinkHost.h"
#include "engine/EngineHost.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

std::string maskedText(const std::string& text) {
    std::string f;
    f += static_cast<char>(0x81);
    f += static_cast<char>(0x80 | text.size());
    const char key[4] = {1, 2, 3, 4};
    f.append(key, 4);
    for (std::size_t i = 0; i < text.size(); ++i)
        f += static_cast<char>(text[i] ^ key[i & 3]);
    return f;
}

void BM_CommandToEngine(benchmark::State& state) {
    auto engine = vyn::EngineHost::create(std::make_unique<vyn::NullAudioDevice>(2, 48000.0, 256));
    if (!engine->open()) {
        state.SkipWithError("engine did not start");
        return;
    }
    vyn::LinkHost host(*engine);
    vyn::LinkSettings settings;
    settings.port = 0;
    settings.loopbackOnly = true;
    settings.pairingCode = "1234";
    host.start(settings);

    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, 1 /* TCP_NODELAY */, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(host.server().port()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        state.SkipWithError("no connection");
        return;
    }
    const std::string hello = "GET /ws HTTP/1.1\r\nUpgrade: websocket\r\n"
                              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n" +
                              maskedText(R"({"t":"hello","pair":"1234"})");
    ::send(s, hello.data(), hello.size(), MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    vyn::Command applied;
    while (engine->popApplied(applied)) {
    }
    int shift = 0;
    double totalMs = 0.0, worstMs = 0.0;
    std::int64_t lost = 0;
    for (auto _ : state) {
        shift = shift == 1 ? -1 : 1;
        const std::string cmd =
            maskedText(R"({"t":"cmd","c":48,"d":0,"v":)" + std::to_string(shift) + "}");
        const auto sent = std::chrono::steady_clock::now();
        ::send(s, cmd.data(), cmd.size(), MSG_NOSIGNAL);
        bool seen = false;
        while (!seen && std::chrono::steady_clock::now() - sent < std::chrono::seconds(1)) {
            while (engine->popApplied(applied))
                if (applied.commandType() == vyn::CommandType::SET_KEY_SHIFT) seen = true;
            if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent)
                .count();
        if (!seen) ++lost;
        totalMs += ms;
        worstMs = std::max(worstMs, ms);
        state.SetIterationTime(ms / 1000.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(3)); // vary the phase in the block
    }
    state.counters["mean_ms"] = totalMs / static_cast<double>(state.iterations());
    state.counters["worst_ms"] = worstMs;
    state.counters["lost"] = static_cast<double>(lost);
    ::close(s);
    host.stop();
    engine->stop();
}
BENCHMARK(BM_CommandToEngine)->Iterations(300)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
