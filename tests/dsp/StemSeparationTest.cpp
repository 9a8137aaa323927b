// The separation job below the loader: cache hits and misses, cache file validation, pruning,
// failed stores, cancellation, and the hand-over to a neural separator.

#include "dsp/StemSeparation.h"
#include "dsp/StemCache.h"
#include "dsp/StemModels.h"

#include "common/StemTracks.h"
#include "common/TestPaths.h"
#include "support/Sha256.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
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

TEST_F(StemCacheTest, SecondSplitOfATrackComesFromTheCache) {
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
    for (int k = 0; k < kStemCount; ++k)
        EXPECT_EQ(second.stems.stems[k], first.stems.stems[k]) << "stem " << k;
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        const int rest =
            pcm[i] - second.stems.stems[0][i] - second.stems.stems[1][i] - second.stems.stems[2][i];
        ASSERT_EQ(second.stems.stems[kStemOther][i], std::clamp(rest, -32768, 32767)) << i;
    }
}

TEST_F(StemCacheTest, RateOrLengthChangesTheKey) {
    const std::vector<std::int16_t> pcm = music();
    ASSERT_TRUE(separate(pcm, 44100).ok);
    EXPECT_NE(cacheFile(44099), cacheFile(44100));
    EXPECT_NE(cacheFile(44100, 44100.0), cacheFile(44100));
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

} // namespace
} // namespace vyn
