// The clock generator's rules, and how an output is chosen.

#include "control/midi/MidiClockOutput.h"

#include "ScriptedMidiBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vyn {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes step(MidiClockGenerator& g, double now) {
    std::uint8_t out[16];
    const int n = midiClockStep(g, now, out, 16);
    return Bytes(out, out + n);
}

int pulses(const Bytes& b) {
    return static_cast<int>(std::count(b.begin(), b.end(), midi_clock::kPulse));
}

TEST(MidiClockGenerator, StartPulsesAndOneStop) {
    MidiClockGenerator g;
    g.set(120.0, true);
    EXPECT_EQ(step(g, 10.0), (Bytes{0xFA, 0xF8})) << "start, then the first pulse in one poll";
    int count = 1;
    for (int ms = 1; ms <= 1000; ++ms)
        count += pulses(step(g, 10.0 + ms / 1000.0));
    EXPECT_EQ(count, 49) << "48 a second at 120 BPM, both ends counted";
    g.set(120.0, false);
    EXPECT_EQ(step(g, 11.5), Bytes{0xFC});
    EXPECT_EQ(step(g, 11.6), Bytes{}) << "one stop only";
    g.set(120.0, true);
    EXPECT_EQ(step(g, 12.0), (Bytes{0xFA, 0xF8})) << "a new run starts again";
    g.set(0.0, true);
    EXPECT_EQ(step(g, 12.1), Bytes{0xFC}) << "tempo 0 while playing is a stop";
    g.set(-5.0, true);
    EXPECT_EQ(g.tempo, 0.0);
    EXPECT_EQ(step(g, 12.2), Bytes{});
}

TEST(MidiClockGenerator, CatchUpAfterABlockedThread) {
    // Blocked for 100 ms: the missed pulses go out at once and the grid is kept.
    MidiClockGenerator kept;
    kept.set(120.0, true);
    step(kept, 0.0);
    const double grid = kept.nextTick;
    const int late = pulses(step(kept, 0.100));
    EXPECT_TRUE(late == 4 || late == 5) << late;
    EXPECT_NEAR(kept.nextTick, grid + late / 48.0, 1e-9);
    // Blocked for 500 ms: eight go out and the rest is dropped.
    MidiClockGenerator dropped;
    dropped.set(120.0, true);
    step(dropped, 0.0);
    EXPECT_EQ(pulses(step(dropped, 0.500)), 8);
    EXPECT_NEAR(dropped.nextTick, 0.500 + 1.0 / 48.0, 1e-9);
    MidiClockGenerator g;
    g.set(120.0, true);
    std::uint8_t small[2];
    EXPECT_EQ(midiClockStep(g, 0.0, small, 2), 2);
    EXPECT_EQ(midiClockStep(g, 1.0, small, 2), 2) << "never beyond the caller's room";
}

TEST(MidiClockCycle, EveryPulseOnItsFrameAcrossCycles) {
    // 120 BPM at 48 kHz: a pulse every 1000 frames; cycles of 256 frames from an odd start, so
    // pulses fall on cycle boundaries (every 125 cycles) as well as inside them.
    struct Event {
        std::uint64_t frame;
        std::uint8_t byte;
    };
    std::vector<Event> events;
    MidiClockGenerator g;
    g.set(120.0, true);
    std::uint64_t start = 48000ull * 3600 + 17;
    auto cycle = [&] {
        midiClockCycle(g, start, 256, 48000.0,
                       [&](std::uint32_t offset, const std::uint8_t* bytes, int n) {
                           EXPECT_LT(offset, 256u);
                           for (int i = 0; i < n; ++i)
                               events.push_back({start + offset, bytes[i]});
                       });
        start += 256;
    };
    for (int i = 0; i < 1000; ++i)
        cycle();
    start += 3 * 256; // three cycles this client never ran
    for (int i = 0; i < 300; ++i)
        cycle();
    g.set(120.0, false);
    cycle();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0].byte, 0xFA);
    EXPECT_EQ(events[0].frame, 48000ull * 3600 + 17) << "start on the cycle's first frame";
    EXPECT_EQ(events.back().byte, 0xFC);
    const std::uint64_t first = events[1].frame;
    std::size_t pulses = 0;
    for (const Event& e : events) {
        if (e.byte != 0xF8) continue;
        const std::uint64_t grid = first + 1000 * pulses++;
        // Pulses due in the lost cycles go out late at the next cycle's first frame; the grid
        // itself never moves.
        if (e.frame != grid) {
            EXPECT_GT(e.frame, grid);
            EXPECT_LT(e.frame - grid, 4u * 256u) << "pulse " << pulses;
            EXPECT_EQ((e.frame - 48000ull * 3600 - 17) % 256, 0u) << "at a cycle's start";
        }
    }
    EXPECT_EQ(pulses, (1300u * 256u + 3u * 256u) / 1000u + 1u) << "none lost, none doubled";
}

// Records each byte with the time it was sent.
class RecordingOutput final : public IMidiByteOutput {
public:
    struct Sent {
        std::chrono::steady_clock::time_point at;
        std::uint8_t byte;
    };
    explicit RecordingOutput(std::vector<Sent>& sink, std::mutex& mutex)
        : sink_(sink), mutex_(mutex) {}
    void send(std::uint8_t byte) override {
        std::lock_guard<std::mutex> lock(mutex_);
        sink_.push_back({std::chrono::steady_clock::now(), byte});
    }

private:
    std::vector<Sent>& sink_;
    std::mutex& mutex_;
};

TEST(MidiClockThread, PacesPulsesOnTheTempoGridAndEndsWithAStop) {
    using namespace std::chrono_literals;
    std::vector<RecordingOutput::Sent> sent;
    std::mutex mutex;
    auto driver = makeThreadedClockDriver(std::make_unique<RecordingOutput>(sent, mutex));
    std::this_thread::sleep_for(20ms);
    driver->set(120.0, true);
    std::this_thread::sleep_for(1500ms);
    driver->set(120.0, false);
    std::this_thread::sleep_for(50ms);
    std::size_t stopsWhileOpen = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopsWhileOpen = static_cast<std::size_t>(
            std::count_if(sent.begin(), sent.end(), [](const auto& s) { return s.byte == 0xFC; }));
    }
    driver.reset();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0].byte, 0xFA);
    EXPECT_EQ(sent[1].byte, 0xF8);
    EXPECT_EQ(stopsWhileOpen, 1u) << "one stop when the decks stop";
    EXPECT_EQ(sent.back().byte, 0xFC) << "closing ends with a stop";
    // The pulses of the first second, counted against the wall clock: the grid is absolute, so
    // a late wake-up moves single pulses but not the count.
    std::size_t inFirstSecond = 0;
    for (const auto& s : sent)
        if (s.byte == 0xF8 && s.at < sent[1].at + 1000ms) ++inFirstSecond;
    EXPECT_GE(inFirstSecond, 47u);
    EXPECT_LE(inFirstSecond, 49u);
}

TEST(MidiClockOutput, ChoosingTheOutput) {
    struct Case {
        std::vector<std::string> outputs;
        const char* name;
        const char* error;
    } cases[] = {
        {{}, "", MidiClockOutput::kNoOutput},
        {{"Drum machine", "Lights"}, "", MidiClockOutput::kNotConnected},
        {{"Drum machine", "Lights"}, "Drum", MidiClockOutput::kNotConnected},
        // The only output is taken for an empty name, and this one cannot be opened.
        {{"vyn-test-absent-output"}, "", MidiClockOutput::kCouldNotOpen},
    };
    for (const Case& c : cases) {
        // Listed only: nothing can be opened under these names.
        test::ScriptedBackend backend;
        backend.api = "ALSA";
        backend.outputs = c.outputs;
        MidiClockOutput clock(backend);
        EXPECT_FALSE(clock.open(c.name));
        EXPECT_EQ(clock.lastError(), c.error);
        EXPECT_FALSE(clock.isOpen());
    }
}

} // namespace
} // namespace vyn
