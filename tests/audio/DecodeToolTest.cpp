// vyn-tool decode and vyn-tool waveform, run as processes.

#include "audio/AudioDecoder.h"
#include "audio/AudioFixtures.h"
#include "dsp/Waveform.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace vyn {
namespace {

class DecodeTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::scratchDir("decode-tool");
        tool_ = test::builtExecutable("vyn-tool");
        signal_ = test::testSignal(22050, 22050);
        source_ = test::writeStereoWav(dir_ + "/source.wav", signal_, 22050);
    }
    test::ProcessResult run(const std::string& args) {
        return test::runProcess("'" + tool_ + "' " + args);
    }

    std::string dir_, tool_, source_;
    std::vector<std::int16_t> signal_;
};

TEST_F(DecodeTool, WritesTheDecodedSixteenBitStereo) {
    const std::string aiff = dir_ + "/in.aiff";
    ASSERT_TRUE(test::shell("sox -D '" + source_ + "' -b 24 -c 1 '" + aiff + "' remix 2"));
    const std::string out = dir_ + "/out.wav";
    const test::ProcessResult r = run("decode '" + aiff + "' '" + out + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "frames: 22050\nsampleRate: 22050\n");

    const DecodeResult written = decodeFile(out);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(written.sampleRate, 22050.0);
    ASSERT_EQ(written.frames, 22050u);
    for (std::size_t i = 0; i < written.frames; ++i) {
        ASSERT_EQ(written.samples[2 * i], signal_[2 * i + 1]) << i;
        ASSERT_EQ(written.samples[2 * i + 1], signal_[2 * i + 1]) << i;
    }
}

TEST_F(DecodeTool, CompressedInputGoesThroughThePlatformDecoder) {
    const std::string flac = dir_ + "/in.flac";
    ASSERT_TRUE(test::shell("ffmpeg -v error -y -i '" + source_ + "' '" + flac + "'"));
    const std::string out = dir_ + "/out.wav";
    const test::ProcessResult r = run("decode '" + flac + "' '" + out + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const DecodeResult written = decodeFile(out);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_TRUE(written.samples == signal_);
}

TEST_F(DecodeTool, FailuresExitWithTheDecoderMessageAndWriteNothing) {
    const std::string six = test::writeBytes(dir_ + "/six.wav", {'R', 'I', 'F', 'F', 0, 0});
    const std::string out = dir_ + "/out.wav";
    const test::ProcessResult r = run("decode '" + six + "' '" + out + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "vyn-tool decode: " + six +
                         ": unrecognised audio format \xE2\x80\x94 header: 52 49 46 46 00 00   "
                         "\"RIFF..\"\n");
    EXPECT_FALSE(test::shell("test -e '" + out + "'"));
    EXPECT_FALSE(test::shell("test -e '" + out + ".tmp'"));

    EXPECT_EQ(run("decode '" + source_ + "'").exitCode, 2);
    EXPECT_EQ(run("waveform").exitCode, 2);
}

std::uint32_t fnv1a(const Waveform& w) {
    std::uint32_t h = 2166136261u;
    for (const WaveColumn& c : w.columns)
        for (std::uint8_t b : {c.height, c.low, c.mid, c.high}) {
            h ^= b;
            h *= 16777619u;
        }
    return h;
}

TEST_F(DecodeTool, WaveformPrintsColumnsRateAndChecksum) {
    const test::ProcessResult r = run("waveform '" + source_ + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Exactly three lines: "columns: N", "columnsPerSecond: 150", "checksum: 8 hex digits".
    unsigned long columns = 0;
    char hash[9] = {};
    int consumed = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(),
                          "columns: %lu\ncolumnsPerSecond: 150\nchecksum: %8[0-9A-F]\n%n", &columns,
                          hash, &consumed),
              2)
        << r.out;
    EXPECT_EQ(static_cast<std::size_t>(consumed), r.out.size()) << r.out;
    EXPECT_EQ(std::string(hash).size(), 8u);
    EXPECT_EQ(columns, 150u); // one second at 150 columns per second

    const Waveform expected = analyseWaveform(signal_.data(), 22050, 22050.0, 150.0);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(fnv1a(expected)));
    EXPECT_STREQ(hash, hex);

    // A different signal gives a different checksum.
    std::vector<std::int16_t> quieter = signal_;
    for (auto& v : quieter)
        v = static_cast<std::int16_t>(v / 4);
    const std::string other = test::writeStereoWav(dir_ + "/quiet.wav", quieter, 22050);
    const test::ProcessResult q = run("waveform '" + other + "'");
    ASSERT_EQ(q.exitCode, 0);
    EXPECT_EQ(q.out.substr(0, q.out.find("checksum")), r.out.substr(0, r.out.find("checksum")));
    EXPECT_NE(q.out, r.out);
}

} // namespace
} // namespace vyn
