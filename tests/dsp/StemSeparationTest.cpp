// The separation job below the loader (cache hits and misses, cache file validation, pruning,
// failed stores, cancellation, the hand-over to a neural separator), the stem source that plays
// its result, and `vyn-tool stems`.

#include "dsp/StemSeparation.h"
#include "audio/AudioDecoder.h"
#include "common/StemTracks.h"
#include "common/TestPaths.h"
#include "dsp/StemCache.h"
#include "dsp/StemModels.h"
#include "support/Sha256.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vyn {
namespace {

namespace fs = std::filesystem;

constexpr double kRate = 22050.0;

std::vector<std::int16_t> music(std::int64_t frames = 44100) {
    return test::kickAndTones(frames, kRate);
}

class StemCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("stem-cache");
        setStemCacheSettings({dir, 8ull << 30, 64});
    }
    void TearDown() override { setStemCacheSettings({}); }

    SeparationResult separate(const std::vector<std::int16_t>& pcm, std::int64_t frames,
                              double rate = kRate) {
        SeparationRequest r;
        r.pcm = pcm.data();
        r.frames = frames;
        r.sampleRate = rate;
        r.path = "/music/track.wav";
        return separateStems(r);
    }
    std::string cacheFile(std::int64_t frames, double rate = kRate) {
        return stemCachePath("/music/track.wav", frames, rate, false, "");
    }
    std::vector<fs::path> files() {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(dir))
            out.push_back(e.path());
        return out;
    }

    std::string dir;
};

TEST_F(StemCacheTest, SecondSplitOfATrackComesFromTheCacheUnlessItsRateOrLengthChanged) {
    const std::vector<std::int16_t> pcm = music();
    const SeparationResult first = separate(pcm, 44100);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_FALSE(first.fromCache);
    const std::string path = cacheFile(44100);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::path(path).filename().string(),
              Sha256::hex(Sha256::of("/music/track.wav\n44100\n22050.000000\nspectral\n")) +
                  ".vynstem");
    EXPECT_EQ(fs::file_size(path), 48u + 3u * 4u * 44100u) << "three stems stored, not other";

    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(path, old);
    const SeparationResult second = separate(pcm, 44100);
    ASSERT_TRUE(second.ok);
    EXPECT_TRUE(second.fromCache);
    EXPECT_GT(fs::last_write_time(path), old) << "a hit counts as use for pruning";
    // "other" is not stored: rebuilt on load, it must come back as the split made it.
    for (int k = 0; k < kStemCount; ++k)
        EXPECT_EQ(second.stems.stems[k], first.stems.stems[k]) << "stem " << k;

    EXPECT_FALSE(separate(pcm, 44099).fromCache);
    EXPECT_FALSE(separate(pcm, 44100, 44100.0).fromCache);
    EXPECT_TRUE(separate(pcm, 44100).fromCache);
    setStemCacheSettings({});
    EXPECT_EQ(cacheFile(44100), "") << "no folder, no cache";
}

TEST_F(StemCacheTest, DamagedFilesCountAsAbsent) {
    const std::vector<std::int16_t> pcm = music(4000);
    const StemSet stems = test::levelStems(4000, kRate);
    const std::string path = dir + "/probe.vynstem";
    struct Damage {
        const char* what;
        std::size_t offset;
        std::uint32_t value;
    };
    for (const Damage& d : {Damage{"version 2", 12, 2}, Damage{"byte-order mark", 8, 0x04030201},
                            Damage{"label of 5000 bytes", 40, 5000}, Damage{"3 channels", 20, 3},
                            Damage{"neural flag 2", 16, 2}, Damage{"magic", 0, 0x4E59564Bu},
                            Damage{"zero frames", 24, 0}}) {
        ASSERT_TRUE(storeStemCache(path, stems));
        StemSet out;
        ASSERT_TRUE(loadStemCache(path, pcm.data(), 4000, kRate, out)) << d.what;
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(d.offset));
        f.write(reinterpret_cast<const char*>(&d.value), 4);
        if (d.offset == 24) f.write("\0\0\0\0", 4);
        f.close();
        EXPECT_FALSE(loadStemCache(path, pcm.data(), 4000, kRate, out)) << d.what;
    }
    ASSERT_TRUE(storeStemCache(path, stems));
    fs::resize_file(path, fs::file_size(path) - 2);
    StemSet out;
    EXPECT_FALSE(loadStemCache(path, pcm.data(), 4000, kRate, out)) << "truncated";
    ASSERT_TRUE(storeStemCache(path, stems));
    EXPECT_FALSE(loadStemCache(path, pcm.data(), 4000, std::nan(""), out)) << "NaN rate";
    EXPECT_FALSE(loadStemCache(path, pcm.data(), 3999, kRate, out)) << "other frame count";
}

TEST_F(StemCacheTest, PruningKeepsTheMostRecentlyUsedWithinBudgets) {
    const StemSet stems = test::levelStems(100, kRate);
    const auto now = fs::file_time_type::clock::now();
    for (int i = 0; i < 64; ++i) {
        const std::string p = dir + "/old" + std::to_string(i) + ".vynstem";
        std::ofstream(p) << "x";
        fs::last_write_time(p, now - std::chrono::minutes(100 - i));
    }
    std::ofstream(dir + "/notes.txt") << "not a cache file";
    ASSERT_TRUE(storeStemCache(dir + "/new.vynstem", stems));
    EXPECT_EQ(files().size(), 65u) << "64 cache files and the text file";
    EXPECT_FALSE(fs::exists(dir + "/old0.vynstem")) << "the oldest goes first";
    EXPECT_TRUE(fs::exists(dir + "/old1.vynstem"));

    // A byte budget of two stem files keeps the newest two.
    const std::uint64_t size = fs::file_size(dir + "/new.vynstem");
    setStemCacheSettings({dir, 2 * size, 0});
    ASSERT_TRUE(storeStemCache(dir + "/newer.vynstem", stems));
    EXPECT_TRUE(fs::exists(dir + "/newer.vynstem"));
    EXPECT_TRUE(fs::exists(dir + "/new.vynstem"));
    EXPECT_FALSE(fs::exists(dir + "/old63.vynstem"));
    EXPECT_TRUE(fs::exists(dir + "/notes.txt"));
}

TEST_F(StemCacheTest, AFailedStoreLeavesNothingBehind) {
    const StemSet stems = test::levelStems(100, kRate);
    // The final name is taken by a folder with something in it: the rename fails.
    fs::create_directories(dir + "/taken.vynstem/inside");
    EXPECT_FALSE(storeStemCache(dir + "/taken.vynstem", stems));
    EXPECT_FALSE(fs::exists(dir + "/taken.vynstem.part"));
    // Refused before anything is written.
    StemSet shortStem = stems;
    shortStem.stems[kStemOther].pop_back();
    EXPECT_FALSE(storeStemCache(dir + "/a.vynstem", shortStem));
    EXPECT_FALSE(storeStemCache("", stems));
    StemSet noRate = stems;
    noRate.sampleRate = 0.0;
    EXPECT_FALSE(storeStemCache(dir + "/a.vynstem", noRate));
    EXPECT_EQ(files().size(), 1u);
}

TEST(StemSeparation, ReportsProgressAndItsFailures) {
    const std::vector<std::int16_t> pcm = music();
    SeparationRequest r;
    r.pcm = pcm.data();
    r.frames = 44100;
    r.sampleRate = kRate;
    std::vector<float> progress;
    r.progress = [&](float f) { progress.push_back(f); };
    ASSERT_TRUE(separateStems(r).ok);
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), 0.0f);
    EXPECT_EQ(progress[progress.size() - 2], 1.0f);
    EXPECT_EQ(progress.back(), -1.0f);

    r.isCurrent = [] { return false; };
    EXPECT_EQ(separateStems(r).error, "cancelled");
    EXPECT_EQ(progress.back(), -1.0f);
    r.frames = 0;
    EXPECT_EQ(separateStems(r).error, "nothing to separate");
}

class NeuralHandOver : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("stem-models");
        fake = std::make_unique<test::FakeNeuralInstall>(dir);
        // Registered ahead of the fake model, and missing: the fake is the first present one.
        clearStemModels();
        registerStemModel("absent", 10, "00");
        registerStemModel("fake", 7, Sha256::hex(Sha256::of("weights")));
    }
    std::string dir;
    std::unique_ptr<test::FakeNeuralInstall> fake;
};

TEST_F(NeuralHandOver, ModelFilesAreCheckedBySizeAndDigest) {
    EXPECT_EQ(checkStemModel("fake", false), StemModelStatus::Present);
    EXPECT_EQ(checkStemModel("fake", true), StemModelStatus::Present);
    EXPECT_EQ(checkStemModel("absent", false), StemModelStatus::Missing);
    EXPECT_EQ(checkStemModel("nobody", false), StemModelStatus::Unknown);
    registerStemModel("fake", 7, Sha256::hex(Sha256::of("other weights")));
    EXPECT_EQ(checkStemModel("fake", false), StemModelStatus::Present) << "size only";
    EXPECT_EQ(checkStemModel("fake", true), StemModelStatus::WrongDigest);
    registerStemModel("fake", 8, Sha256::hex(Sha256::of("weights")));
    EXPECT_EQ(checkStemModel("fake", false), StemModelStatus::WrongSize);
    fs::create_directories(dir + "/folder.vynmodel");
    registerStemModel("folder", 0, "");
    EXPECT_EQ(checkStemModel("folder", false), StemModelStatus::NotAFile);
}

TEST_F(NeuralHandOver, TheFirstPresentModelGoesToTheFactoryAndNamesTheStems) {
    EXPECT_EQ(findStemModel(), "fake");
    const std::string identity = stemModelIdentity("fake");
    EXPECT_EQ(identity, dir + "/fake.vynmodel sha256:" + Sha256::hex(Sha256::of("weights")));
    EXPECT_EQ(stemModelIdentity("absent"), "");
    // A new model at the same path is a new identity, so it never meets the old one's stems.
    registerStemModel("fake", 7, Sha256::hex(Sha256::of("retrained")));
    EXPECT_NE(stemModelIdentity("fake"), identity);

    const std::vector<std::int16_t> pcm = music(1000);
    SeparationRequest r;
    r.pcm = pcm.data();
    r.frames = 1000;
    r.sampleRate = kRate;
    r.preferNeural = true;
    SeparationResult result = separateStems(r);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.stems.neural);
    EXPECT_EQ(result.stems.label, stemModelIdentity("fake"));
    EXPECT_EQ(fake->modelPath, dir + "/fake.vynmodel");
    EXPECT_EQ(result.stems.stems[0][0], 1000);

    r.preferNeural = false;
    EXPECT_FALSE(separateStems(r).stems.neural);
    setNeuralSeparatorFactory([](const std::string&, const std::string&) { return nullptr; });
    r.preferNeural = true;
    EXPECT_FALSE(separateStems(r).stems.neural) << "a factory that gives nothing falls back";
}

// Reading a stem source: the plain sum, per-stem gains ramping across a read, and the edges.

constexpr float kUnit = 1000.0f / 32768.0f; // the drums level of levelStems(); bass is 2x, ...

struct Read {
    std::vector<float> out;
    std::int64_t produced = 0;
};

Read readMixed(const StemSource& s, std::int64_t start, std::int64_t count, const float* from,
               const float* to) {
    Read r;
    r.out.assign(2 * static_cast<std::size_t>(count), -1.0f);
    r.produced = s.readMixed(start, r.out.data(), count, from, to);
    return r;
}

TEST(StemSource, PlainReadIsTheSumOfTheStemsAndLastsAsLongAsTheShortest) {
    const StemSource s(test::levelStems(100, 44100.0));
    EXPECT_EQ(s.frameCount(), 100u);
    EXPECT_EQ(s.int16Data(), nullptr) << "a stem source is never split again";
    EXPECT_EQ(s.memoryBytes(), 4u * 2u * 100u * 2u);
    std::vector<float> out(2 * 10);
    ASSERT_EQ(s.read(5, out.data(), 10), 10);
    const float ones[4] = {1, 1, 1, 1};
    const Read mixed = readMixed(s, 5, 10, ones, ones);
    for (int i = 0; i < 10; ++i) {
        EXPECT_FLOAT_EQ(out[2 * i], 15 * kUnit);
        EXPECT_FLOAT_EQ(out[2 * i + 1], -15 * kUnit);
        EXPECT_FLOAT_EQ(mixed.out[2 * i], out[2 * i]);
    }
    StemSet set = test::levelStems(100, 48000.0);
    set.stems[kStemVocals].resize(2 * 60);
    EXPECT_EQ(StemSource(std::move(set)).frameCount(), 60u);
}

TEST(StemSource, GainsRampLinearlyAcrossTheReadAndOverTheEdgesOfTheTrack) {
    const StemSource s(test::levelStems(1000, 48000.0));
    // Drums 0 -> 1, bass 1 -> 0, vocals held at 2, other killed at both ends.
    const float rampFrom[4] = {0, 1, 2, 0};
    const float rampTo[4] = {1, 0, 2, 0};
    Read r = readMixed(s, 100, 101, rampFrom, rampTo);
    ASSERT_EQ(r.produced, 101);
    for (int i = 0; i <= 100; ++i) {
        const float t = static_cast<float>(i) / 100.0f;
        const float want = (t * 1 + (1 - t) * 2 + 2 * 4) * kUnit;
        ASSERT_NEAR(r.out[2 * i], want, 1e-5f) << i;
        ASSERT_NEAR(r.out[2 * i + 1], -want, 1e-5f) << i;
    }
    const StemSource shortOne(test::levelStems(50, 48000.0));
    const float from[4] = {0, 0, 0, 0};
    const float to[4] = {1, 0, 0, 0};
    // Ten frames before the start: silence, then the ramp continues where those frames left it.
    r = readMixed(shortOne, -10, 21, from, to);
    EXPECT_EQ(r.produced, 11);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(r.out[2 * i], 0.0f);
    EXPECT_NEAR(r.out[2 * 10], 0.5f * kUnit, 1e-6f);
    EXPECT_NEAR(r.out[2 * 20], 1.0f * kUnit, 1e-6f);
    // Past the end: what remains, then silence.
    r = readMixed(shortOne, 45, 10, nullptr, nullptr);
    EXPECT_EQ(r.produced, 5);
    EXPECT_FLOAT_EQ(r.out[2 * 4], 15 * kUnit);
    EXPECT_EQ(r.out[2 * 5], 0.0f);
    EXPECT_EQ(readMixed(shortOne, 50, 4, nullptr, nullptr).produced, 0);
    EXPECT_EQ(readMixed(shortOne, -4, 4, nullptr, nullptr).produced, 0);
}

// vyn-tool stems, run as a process.

TEST(StemsTool, WritesFourStemsThatAddUpToTheTrack) {
    const std::string dir = test::scratchDir("stems-tool");
    ASSERT_TRUE(test::writeKickAndTones(dir + "/in.wav", 3.0, 44100.0));
    const test::ProcessResult r = test::runTool("stems '" + dir + "/in.wav' '" + dir + "/out'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string files = "drums: " + dir + "/out-drums.wav\nbass: " + dir +
                              "/out-bass.wav\nvocals: " + dir + "/out-vocals.wav\nother: " + dir +
                              "/out-other.wav\n";
    EXPECT_EQ(r.out.rfind("frames: 132300\nsampleRate: 44100\n" + files, 0), 0u) << r.out;
    const std::size_t at = r.out.find("separationSeconds: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::size_t times = r.out.find("\ntimesRealTime: ", at);
    ASSERT_NE(times, std::string::npos) << r.out;
    EXPECT_GT(std::atof(r.out.c_str() + times + 16), 0.0);

    const std::vector<std::int16_t> original = test::kickAndTones(132300, 44100.0);
    std::vector<int> sum(original.size(), 0);
    for (const char* name : {"drums", "bass", "vocals", "other"}) {
        const DecodeResult stem = decodeFile(dir + "/out-" + name + ".wav");
        ASSERT_TRUE(stem.ok) << name;
        ASSERT_EQ(stem.frames, 132300u) << name;
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] += stem.samples[i];
    }
    for (std::size_t i = 0; i < sum.size(); ++i)
        ASSERT_EQ(sum[i], original[i]) << i;

    EXPECT_EQ(test::runTool("stems onlyone").exitCode, 2);
    EXPECT_EQ(test::runTool("stems '" + dir + "/missing.wav' x").exitCode, 1);
}

} // namespace
} // namespace vyn
