// One Resolume OSC tick with every option on (tempo, pause, resync every bar, hot cues to clips,
// all eight dials moving), sent to a local UDP socket: microseconds per tick.

#include "control/osc/ResolumeOutput.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>

namespace {

using namespace vyn;

void BM_OscTickAllOptions(benchmark::State& state) {
    // A receiver that reads everything, so the sends are real datagrams, not drops.
    const int rx = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(rx, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(rx, reinterpret_cast<sockaddr*>(&a), &len);
    OscSender sender;
    if (!sender.open("127.0.0.1", ntohs(a.sin_port))) {
        state.SkipWithError("could not open the sender");
        return;
    }
    ResolumeOutput output(sender);
    ResolumeSettings s;
    s.pauseOn = true;
    s.resyncEveryBar = true;
    s.cueMap = 1;
    output.setSettings(s);
    EngineSnapshot snapshot;
    snapshot.masterDeck = 0;
    for (int d = 0; d < 4; ++d) {
        snapshot.decks[d].state = static_cast<std::uint8_t>(DeckState::PLAYING);
        snapshot.decks[d].hasGrid = true;
        snapshot.decks[d].bpm = 124.0f;
        snapshot.decks[d].length = 48000 * 300;
    }
    int tick = 0;
    int cues = 0;
    char drain[9000];
    for (auto _ : state) {
        ++tick;
        const double beat = tick * 0.03;
        snapshot.masterBpm = 124.0f + 0.01f * static_cast<float>(tick % 100);
        for (int d = 0; d < 4; ++d) {
            snapshot.decks[d].beat = beat;
            snapshot.decks[d].bar = static_cast<float>(std::fmod(beat, 4.0));
            snapshot.decks[d].position = beat * 24000.0;
            snapshot.decks[d].filter = static_cast<float>(std::sin(tick * 0.01 + d));
        }
        snapshot.masterPeak = static_cast<float>(0.5 + 0.5 * std::sin(tick * 0.1));
        cues = 2;
        output.tick(snapshot, [&](Command& c) {
            if (cues == 0) return false;
            c = Command(cues == 2 ? CommandType::JUMP_HOT_CUE : CommandType::HOT_CUE_UP, 1, 3.0);
            --cues;
            return true;
        });
        while (::recv(rx, drain, sizeof drain, 0) > 0) {
        }
    }
    state.counters["datagrams"] = static_cast<double>(output.sentDatagrams());
    state.counters["dropped"] = static_cast<double>(sender.droppedDatagrams());
    ::close(rx);
}
BENCHMARK(BM_OscTickAllOptions)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
