// The mix recorder: what the master played, in a WAV file that is valid while it grows and turns
// RF64 past its size limit; under load (eight decks with key lock, a writer held up by a slow
// pipe) the render path neither waits nor allocates and every lost frame is reported.

#include "engine/MixRecorder.h"
#include "audio/WavRecordingFile.h"
#include "common/EngineFixture.h"
#include "common/TestPaths.h"
#include "common/TestTracks.h"
#include "common/WavFiles.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstring>
#include <thread>
#include <tuple>

namespace vyn {
namespace {

using namespace std::chrono_literals;

// The little-endian field of type T at byte `at` of a file's contents.
template <class T> T field(const std::string& d, std::size_t at) {
    T v;
    std::memcpy(&v, d.data() + at, sizeof v);
    return v;
}

TEST(WavRecordingFile, EveryHeaderUpdateDescribesTheSamplesSoFarAndLargeFilesTurnRf64) {
    const std::string dir = test::scratchDir("wav-recording");
    const std::string path = dir + "/mix Caf\xC3\xA9.wav"; // a UTF-8 name on every platform
    WavRecordingFile f;
    ASSERT_TRUE(f.open(path, 2, 48000, 8000));
    EXPECT_FALSE(WavRecordingFile().open(path, 2, 48000)) << "never replaces a file";
    std::vector<float> block(2 * 500);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<float>(i) / 1000.0f;
    ASSERT_TRUE(f.append(block.data(), 500));
    ASSERT_TRUE(f.updateHeader());
    std::string d = readWholeFile(path).data;
    EXPECT_EQ(d.substr(0, 4), "RIFF");
    EXPECT_EQ(field<std::uint32_t>(d, 4), d.size() - 8);
    test::WavContents wav = test::readWav(path);
    EXPECT_EQ(wav.rate, 48000u);
    ASSERT_EQ(wav.frames(), 500u);
    EXPECT_EQ(wav.samples, block);

    ASSERT_TRUE(f.append(block.data(), 500)); // 8000 bytes of samples: past the limit
    ASSERT_TRUE(f.appendSilence(3));
    ASSERT_TRUE(f.close());
    EXPECT_TRUE(f.rf64());
    d = readWholeFile(path).data;
    EXPECT_EQ(d.substr(0, 4), "RF64");
    EXPECT_EQ(field<std::uint32_t>(d, 4), 0xFFFFFFFFu);
    EXPECT_EQ(d.substr(12, 4), "ds64") << "in the room the JUNK chunk kept";
    // The RIFF size, the data size and the sample frames.
    EXPECT_EQ(std::tuple(field<std::uint64_t>(d, 20), field<std::uint64_t>(d, 28),
                         field<std::uint64_t>(d, 36)),
              std::tuple(d.size() - 8, 1003u * 8, 1003u));
}

class MixRecorderTest : public test::EngineFixture {
protected:
    // Deck d plays a tone of its own, key lock on and a little faster, so the stretcher works.
    void playEightDecksWithKeyLock() {
        for (int d = 0; d < 8; ++d) {
            ASSERT_TRUE(
                load(d, test::makeTrack(test::sineWave(220.0 + 55.0 * d, 48000.0, 48000 * 10, 0.1f),
                                        48000.0)));
            ASSERT_TRUE(push(CommandType::SET_KEYLOCK, d, 1.0));
            ASSERT_TRUE(push(CommandType::SET_RATE, d, 1.04));
            ASSERT_TRUE(push(CommandType::PLAY, d));
        }
    }
};

TEST_F(MixRecorderTest, TheFileHoldsExactlyWhatTheMasterPlayedFromTheFrameAsked) {
    const std::string path = test::scratchDir("mix-recorder") + "/mix.wav";
    MixRecorderOptions options;
    options.headerSeconds = 0.0; // a header for every pass of the writer
    MixRecorder mix(engine->capture(), options);
    engine->setMasterTap(&mix);
    playEightDecksWithKeyLock();
    ASSERT_TRUE(mix.start(path, 48000.0));
    EXPECT_FALSE(mix.start(path + "2", 48000.0)) << "one recording at a time";
    const std::vector<float> played = render(256 * 200);
    // Before the end, the file on disk is already a valid WAV of what was written.
    for (int i = 0; i < 500 && test::readWav(path).frames() < 200u * 256; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(test::readWav(path).samples, played);
    const MixRecordingResult r = mix.stop();
    EXPECT_EQ(r.files, std::vector<std::string>{path});
    EXPECT_EQ(r.frames, 200u * 256);
    EXPECT_EQ(r.lostFrames, 0u);
    EXPECT_TRUE(r.error.empty());
    EXPECT_EQ(test::readWav(path).samples, played);
    render(256 * 4);
    EXPECT_EQ(test::readWav(path).frames(), 200u * 256) << "nothing after the stop";

    // A mix started during a set starts at the set's frame zero, 1560 frames ago: silence
    // stands in for what was not captured.
    const std::string since = path + ".since.wav";
    ASSERT_TRUE(mix.start(since, 48000.0, snapshot().frame - 1560));
    const std::vector<float> more = render(256 * 4);
    const MixRecordingResult late = mix.stop();
    engine->setMasterTap(nullptr);
    EXPECT_EQ(late.frames, 1560u + 1024u);
    const test::WavContents wav = test::readWav(since);
    ASSERT_EQ(wav.frames(), late.frames);
    EXPECT_TRUE(std::all_of(wav.samples.begin(), wav.samples.begin() + 2 * 1560,
                            [](float x) { return x == 0.0f; }));
    EXPECT_TRUE(std::equal(more.begin(), more.end(), wav.samples.begin() + 2 * 1560));
}

// A FIFO stands in for a disk that stops taking data (POSIX only).
#ifndef _WIN32
TEST_F(MixRecorderTest, ASlowWriterLosesWholeBlocksAndEveryLostFrameIsReported) {
    const std::string path = test::scratchDir("mix-recorder-slow") + "/mix.fifo";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    MixRecorderOptions options;
    options.ringSeconds = 0.05; // a short ring: the pipe's hold-up overflows it
    MixRecorder mix(engine->capture(), options);
    engine->setMasterTap(&mix);
    playEightDecksWithKeyLock();
    ASSERT_TRUE(mix.start(path, 48000.0));

    // The "disk": nothing is read until the render is over (however fast this machine renders,
    // the pipe and the ring fill long before), then everything.
    std::string received;
    std::atomic<bool> draining{false};
    std::thread disk([&] {
        char buffer[4096];
        while (!draining.load())
            std::this_thread::sleep_for(2ms);
        for (;;) {
            const ssize_t n = ::read(reader, buffer, sizeof buffer);
            if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
            if (n == 0) break;
            if (n < 0) std::this_thread::sleep_for(1ms);
        }
    });
    constexpr int kBlocks = 600;
    const std::vector<float> played = render(256 * kBlocks);
    draining.store(true);
    const MixRecordingResult r = mix.stop();
    disk.join();
    ::close(reader);
    engine->setMasterTap(nullptr);

    // A pipe gets the "size unknown" header; the samples follow it.
    ASSERT_GT(received.size(), 94u);
    EXPECT_EQ(received.substr(0, 4), "RIFF");
    const std::size_t data = received.find("data");
    ASSERT_NE(data, std::string::npos);
    std::vector<float> written((received.size() - data - 8) / 4);
    std::memcpy(written.data(), received.data() + data + 8, written.size() * 4);
    ASSERT_EQ(written.size(), played.size()) << "lost blocks are filled so the file keeps time";
    std::uint64_t silent = 0;
    for (std::size_t b = 0; b < played.size(); b += 512) {
        const bool same =
            std::equal(played.begin() + b, played.begin() + b + 512, written.begin() + b);
        const bool zero = std::all_of(written.begin() + b, written.begin() + b + 512,
                                      [](float x) { return x == 0.0f; });
        EXPECT_TRUE(same || zero) << "block " << b / 512 << " is neither what played nor a gap";
        if (!same && zero) silent += 256;
    }
    EXPECT_GT(r.lostFrames, 0u) << "the pipe held the writer up";
    EXPECT_EQ(r.lostFrames, silent);
    EXPECT_LT(r.lostFrames, static_cast<std::uint64_t>(kBlocks) * 256);
}
#endif

} // namespace
} // namespace vyn
