// What the FFmpeg decoder alone does: the same surround mixdown as the native WAV parser, its
// failure texts, and the local-files-only rule. The bounds every platform decoder is held to are
// PlatformDecodeTest's.

#include "audio/AudioDecoder.h"
#include "audio/CompressedFiles.h"
#include "audio/FfmpegDecoder.h"
#include "common/ToneMeasure.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

namespace vyn {
namespace {

using test::CompressedFormat;

const CompressedFormat& kFlac = test::compressedFormat(AudioKind::Flac);
const CompressedFormat& kMp3 = test::compressedFormat(AudioKind::Mp3);

class FfmpegFiles : public test::CompressedFiles {};

// Each channel of a 5.1 file carries its own tone; each tone reaches left and right by the
// standard downmix (centre and surrounds at -3 dB, the low-frequency channel left out, scaled so
// no side can clip), whether the native WAV parser or FFmpeg (from a lossless copy) decodes it.
TEST_F(FfmpegFiles, SurroundMixesDownAlikeInBothDecoders) {
    struct Speaker {
        const char* name;
        double left, right;
    };
    const Speaker kFiveOne[] = {{"FL", 0.4142, 0}, {"FR", 0, 0.4142}, {"FC", 0.2929, 0.2929},
                                {"LFE", 0, 0},     {"BL", 0.2929, 0}, {"BR", 0, 0.2929}};
    const std::size_t frames = 44100;
    const double amplitude = 4000.0;
    auto hz = [](int channel) { return 441.0 * (channel + 1); }; // whole periods in the span
    test::Bytes pcm;
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < 6; ++c)
            test::putLe(
                pcm,
                static_cast<std::uint16_t>(std::lround(
                    amplitude * std::sin(2.0 * M_PI * hz(c) * static_cast<double>(i) / kRate))),
                2);
    const std::string wav =
        test::writeBytes(dir_ + "/six.wav", test::simpleWav(1, 6, 44100, 16, pcm));
    const DecodeResult native = decodeFile(wav);
    const DecodeResult ffmpeg = decodeFile(encode(kFlac, {}, wav));
    ASSERT_TRUE(native.ok && ffmpeg.ok) << native.error << ffmpeg.error;
    ASSERT_EQ(native.frames, frames);
    ASSERT_EQ(ffmpeg.frames, frames);
    int apart = 0;
    for (std::size_t i = 0; i < 2 * frames; ++i)
        apart = std::max(apart, std::abs(native.samples[i] - ffmpeg.samples[i]));
    EXPECT_LE(apart, 1);
    const std::vector<float> out(native.samples.begin(), native.samples.end());
    for (int c = 0; c < 6; ++c) {
        EXPECT_NEAR(test::toneLevel(out.data(), frames, 2, 0, kRate, hz(c)),
                    amplitude * kFiveOne[c].left, 2.0)
            << kFiveOne[c].name << " on the left";
        EXPECT_NEAR(test::toneLevel(out.data(), frames, 2, 1, kRate, hz(c)),
                    amplitude * kFiveOne[c].right, 2.0)
            << kFiveOne[c].name << " on the right";
    }
}

TEST_F(FfmpegFiles, FailuresNameTheKindOrTheCause) {
    const std::string empty = dir_ + "/empty.wav";
    test::writeStereoWav(empty, {}, 44100);
    DecodeResult noAudio;
    FfmpegDecoder::decodeFile(noAudio, encode(kFlac, {}, empty), AudioKind::Flac);
    EXPECT_EQ(
        std::tie(noAudio.ok, noAudio.error, noAudio.samples, noAudio.frames, noAudio.sampleRate),
        std::make_tuple(false, "decoded no audio from a file sniffed as FLAC",
                        std::vector<std::int16_t>{}, 0u, 0.0));

    DecodeResult missing;
    FfmpegDecoder::decodeFile(missing, dir_ + "/missing.m4a", AudioKind::M4a);
    EXPECT_EQ(missing.error, "FFmpeg could not open the file (sniffed as M4A/AAC)");
    DecodeResult noDescriptor;
    FfmpegDecoder::decodeDescriptor(noDescriptor, -1, AudioKind::Mp3);
    EXPECT_EQ(noDescriptor.error, "no file descriptor");
}

TEST_F(FfmpegFiles, ANameWithAColonIsALocalFileNotAUrl) {
    // Relative to the working folder, "track1:mix.mp3" reads like a URL scheme, and an absolute
    // path may hold colons and bars; both are files.
    const std::string previous = std::filesystem::current_path();
    const std::string real = encode(kMp3);
    std::filesystem::copy_file(real, dir_ + "/http:odd|name.mp3");
    const DecodeResult odd = decodeFile(dir_ + "/http:odd|name.mp3");
    ASSERT_TRUE(odd.ok) << odd.error;
    EXPECT_EQ(odd.frames, kFrames);
    std::filesystem::copy_file(real, dir_ + "/track1:mix.mp3");
    std::filesystem::current_path(dir_);
    const DecodeResult r = decodeFile("track1:mix.mp3");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.frames, kFrames);

    // Read as URLs, these would reach the real file (or the network) through an FFmpeg protocol;
    // as the local names they are, they do not exist.
    for (const std::string& url : std::vector<std::string>{
             "file:" + real, "concat:" + real + "|" + real, "subfile,,start,0,end,0,,:" + real,
             "pipe:0", "http://127.0.0.1:9/song.mp3"}) {
        DecodeResult missing;
        FfmpegDecoder::decodeFile(missing, url, AudioKind::Mp3);
        EXPECT_EQ(missing.error, "FFmpeg could not open the file (sniffed as MP3)") << url;
    }
}

} // namespace
} // namespace vyn
