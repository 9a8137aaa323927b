// vyn-tool decode and vyn-tool waveform, run as processes: their output formats and exit codes.
// What the decoders and the waveform analysis compute is tested below the tool.

#include "audio/AudioDecoder.h"
#include "audio/CompressedFiles.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace vyn {
namespace {

class DecodeTool : public test::CompressedFiles {};

TEST_F(DecodeTool, WritesSixteenBitStereoThroughThePlatformDecoder) {
    const std::string flac = encode(test::compressedFormat(AudioKind::Flac));
    const std::string out = dir_ + "/out.wav";
    const test::ProcessResult r = test::runTool("decode '" + flac + "' '" + out + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "frames: 132300\nsampleRate: 44100\n");
    const DecodeResult written = decodeFile(out);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_TRUE(written.samples == signal_) << "FLAC is lossless";
}

TEST_F(DecodeTool, FailuresExitWithTheDecoderMessageAndWriteNothing) {
    const std::string six = test::writeBytes(dir_ + "/six.wav", {'R', 'I', 'F', 'F', 0, 0});
    const std::string out = dir_ + "/out.wav";
    const test::ProcessResult r = test::runTool("decode '" + six + "' '" + out + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "vyn-tool decode: " + six +
                         ": unrecognised audio format \xE2\x80\x94 header: 52 49 46 46 00 00   "
                         "\"RIFF..\"\n");
    EXPECT_FALSE(test::shell("test -e '" + out + "' || test -e '" + out + ".tmp'"));
    EXPECT_EQ(test::runTool("decode '" + source_ + "'").exitCode, 2);
    EXPECT_EQ(test::runTool("waveform").exitCode, 2);
    EXPECT_EQ(test::runTool("waveform '" + six + "'").exitCode, 1);
}

TEST_F(DecodeTool, WaveformPrintsColumnsRateAndAChecksumOfTheColumns) {
    const auto waveform = [&](const std::vector<std::int16_t>& signal) {
        const std::string path = test::writeStereoWav(dir_ + "/w.wav", signal, 44100);
        const test::ProcessResult r = test::runTool("waveform '" + path + "'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };
    const std::string out = waveform(signal_);
    unsigned long columns = 0;
    char hash[9] = {};
    int consumed = 0;
    ASSERT_EQ(std::sscanf(out.c_str(),
                          "columns: %lu\ncolumnsPerSecond: 150\nchecksum: %8[0-9A-F]\n%n", &columns,
                          hash, &consumed),
              2)
        << out;
    EXPECT_EQ(static_cast<std::size_t>(consumed), out.size()) << out;
    EXPECT_EQ(std::string(hash).size(), 8u);
    EXPECT_EQ(columns, 450u); // three seconds at 150 columns per second
    EXPECT_EQ(waveform(signal_), out) << "the same audio, the same checksum";
    std::vector<std::int16_t> quieter = signal_;
    for (auto& v : quieter)
        v = static_cast<std::int16_t>(v / 4);
    const std::string other = waveform(quieter);
    EXPECT_EQ(other.substr(0, other.find("checksum")), out.substr(0, out.find("checksum")));
    EXPECT_NE(other, out);
}

} // namespace
} // namespace vyn
