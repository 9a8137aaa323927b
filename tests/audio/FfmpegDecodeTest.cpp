// The FFmpeg platform decoder against files ffmpeg encodes at test time from a known signal:
// rate, length (encoder delay and padding trimmed), correlation with the source, channel
// handling, descriptors, and the local-files-only rule.

#include "app/DecoderRegistration.h"
#include "audio/AudioDecoder.h"
#include "audio/AudioFixtures.h"
#include "audio/FfmpegDecoder.h"
#include "common/ToneMeasure.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vyn {
namespace {

constexpr double kRate = 44100.0;
constexpr std::size_t kFrames = 3 * 44100;

struct Codec {
    const char* name;
    const char* extension;
    const char* args;
    AudioKind kind;
    long lengthTolerance; // frames the decoded length may differ from the source
    long lagTolerance;    // frames the decoded signal may be shifted against the source
    double minCorrelation;
};

const Codec kCodecs[] = {
    {"Flac", "flac", "-c:a flac", AudioKind::Flac, 0, 0, 0.99999},
    {"Mp3", "mp3", "-c:a libmp3lame -b:a 192k", AudioKind::Mp3, 0, 0, 0.99},
    {"M4a", "m4a", "-c:a aac -b:a 192k", AudioKind::M4a, 0, 0, 0.99},
    {"Ogg", "ogg", "-c:a libvorbis -q:a 6", AudioKind::Ogg, 1024, 256, 0.99},
};

void PrintTo(const Codec& codec, std::ostream* os) {
    *os << codec.name;
}

class FfmpegFiles : public ::testing::Test {
protected:
    void SetUp() override {
        registerPlatformDecoders();
        dir_ = test::scratchDir("ffmpeg-decode");
        signal_ = test::testSignal(kFrames, kRate);
        source_ = test::writeStereoWav(dir_ + "/source.wav", signal_, 44100);
    }
    std::string encode(const Codec& codec, const std::string& extraArgs = {},
                       const std::string& input = {}) {
        const std::string out = dir_ + "/" + codec.name + "." + codec.extension;
        const std::string cmd = "ffmpeg -v error -y -i '" + (input.empty() ? source_ : input) +
                                "' " + extraArgs + " " + codec.args + " '" + out + "'";
        EXPECT_TRUE(test::shell(cmd)) << cmd;
        return out;
    }
    // The shift of `decoded` against the source with the best correlation, searched on a
    // stretch from the middle of the signal.
    long bestLag(const std::vector<std::int16_t>& decoded, int channel) const {
        const long from = static_cast<long>(kFrames / 2), n = 8192;
        long best = 0;
        double bestScore = -1e300;
        for (long lag = -2048; lag <= 2048; ++lag) {
            double score = 0;
            for (long i = from; i < from + n; ++i) {
                const long j = i + lag;
                if (j < 0 || 2 * j + 1 >= static_cast<long>(decoded.size())) continue;
                score += static_cast<double>(signal_[2 * i + channel]) * decoded[2 * j + channel];
            }
            if (score > bestScore) {
                bestScore = score;
                best = lag;
            }
        }
        return best;
    }

    std::string dir_, source_;
    std::vector<std::int16_t> signal_;
};

class FfmpegCodecs : public FfmpegFiles, public ::testing::WithParamInterface<Codec> {};

TEST_P(FfmpegCodecs, DecodesToTheSourceRateLengthAndSignal) {
    const Codec& codec = GetParam();
    const std::string path = encode(codec);
    const DecodeResult r = decodeFile(path);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sampleRate, kRate);
    EXPECT_EQ(r.samples.size(), r.frames * 2);
    EXPECT_LE(std::labs(static_cast<long>(r.frames) - static_cast<long>(kFrames)),
              codec.lengthTolerance)
        << "decoded " << r.frames << " frames of " << kFrames;
    for (int channel = 0; channel < 2; ++channel) {
        const long lag = bestLag(r.samples, channel);
        EXPECT_LE(std::labs(lag), codec.lagTolerance) << "channel " << channel;
        const double same = test::correlation(signal_, r.samples, channel, lag);
        EXPECT_GT(same, codec.minCorrelation) << "channel " << channel << " lag " << lag;
    }
    // Left stays left: each side resembles its own source channel far more than the other.
    std::vector<std::int16_t> swapped(r.samples.size());
    for (std::size_t i = 0; i + 1 < r.samples.size(); i += 2) {
        swapped[i] = r.samples[i + 1];
        swapped[i + 1] = r.samples[i];
    }
    EXPECT_LT(std::fabs(test::correlation(signal_, swapped, 0, bestLag(r.samples, 0))), 0.5);
}

TEST_P(FfmpegCodecs, DescriptorGivesTheSameSamplesAsThePath) {
    const Codec& codec = GetParam();
    const std::string path = encode(codec);
    const DecodeResult byPath = decodeFile(path);
    ASSERT_TRUE(byPath.ok) << byPath.error;
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const DecodeResult byFd = decodeDescriptor(fd);
    ::close(fd);
    ASSERT_TRUE(byFd.ok) << byFd.error;
    EXPECT_EQ(byFd.sampleRate, byPath.sampleRate);
    EXPECT_EQ(byFd.frames, byPath.frames);
    EXPECT_TRUE(byFd.samples == byPath.samples);
}

INSTANTIATE_TEST_SUITE_P(Formats, FfmpegCodecs, ::testing::ValuesIn(kCodecs),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(FfmpegFiles, MonoIsDuplicatedToBothSides) {
    const DecodeResult r = decodeFile(encode(kCodecs[1], "-ac 1"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sampleRate, kRate);
    for (std::size_t i = 0; i < r.frames; ++i)
        ASSERT_EQ(r.samples[2 * i], r.samples[2 * i + 1]) << "frame " << i;
}

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
    const DecodeResult ffmpeg = decodeFile(encode(kCodecs[0], {}, wav));
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

TEST(WavSurround, TheSpeakerMaskNamesTheChannels) {
    // Four channels are 4.0 (FL FR FC BC) by default; a mask can make them FL FR SL SR.
    test::Bytes fmt = test::fmtExtensible(1, 4, 44100, 16);
    for (int i = 0; i < 4; ++i)
        fmt[20 + i] = static_cast<unsigned char>(0x603u >> (8 * i));
    test::Bytes frame;
    for (int c = 0; c < 4; ++c)
        test::putLe(frame, c == 2 ? 10000 : 0, 2);
    const test::Bytes masked = test::riffFile({{"fmt ", fmt, {}}, {"data", frame, {}}});
    const DecodeResult sides = decodeMemory(masked.data(), masked.size());
    ASSERT_TRUE(sides.ok) << sides.error;
    EXPECT_EQ(sides.samples[0], 4142);
    EXPECT_EQ(sides.samples[1], 0);
    const test::Bytes plain = test::simpleWav(1, 4, 44100, 16, frame);
    const DecodeResult centre = decodeMemory(plain.data(), plain.size());
    ASSERT_TRUE(centre.ok) << centre.error;
    EXPECT_EQ(centre.samples[0], 3204);
    EXPECT_EQ(centre.samples[1], 3204);
}

TEST_F(FfmpegFiles, KeepsTheFilesOwnRate) {
    const DecodeResult r = decodeFile(encode(kCodecs[1], "-ar 32000"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sampleRate, 32000.0);
    EXPECT_NEAR(static_cast<double>(r.frames), 3.0 * 32000.0, 1.0);
}

TEST_F(FfmpegFiles, FlacWithoutSamplesDecodesNoAudio) {
    const std::string empty = dir_ + "/empty.wav";
    test::writeStereoWav(empty, {}, 44100);
    DecodeResult r;
    FfmpegDecoder::decodeFile(r, encode(kCodecs[0], {}, empty), AudioKind::Flac);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "decoded no audio from a file sniffed as FLAC");
    EXPECT_TRUE(r.samples.empty());
    EXPECT_EQ(r.frames, 0u);
    EXPECT_EQ(r.sampleRate, 0.0);
}

TEST_F(FfmpegFiles, DamagedFilesFailWithTheKindInTheMessage) {
    test::Bytes junk = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 5000; ++i)
        junk.push_back(static_cast<unsigned char>(i * 7919 >> 3));
    const std::string path = test::writeBytes(dir_ + "/junk.mp3", junk);
    const DecodeResult r = decodeFile(path);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("MP3"), std::string::npos) << r.error;

    DecodeResult missing;
    FfmpegDecoder::decodeFile(missing, dir_ + "/missing.m4a", AudioKind::M4a);
    EXPECT_EQ(missing.error, "FFmpeg could not open the file (sniffed as M4A/AAC)");
}

TEST_F(FfmpegFiles, ColonsInsideALocalPathAreNotAScheme) {
    const std::string plain = encode(kCodecs[1]);
    const std::string odd = dir_ + "/http:odd|name.mp3";
    ASSERT_TRUE(test::shell("cp '" + plain + "' '" + odd + "'"));
    const DecodeResult r = decodeFile(odd);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.frames, kFrames);
}

TEST_F(FfmpegFiles, ANameWithAColonIsALocalFileNotAUrl) {
    // Relative to the working folder, "track1:mix.mp3" reads like a URL scheme; it is a file.
    const std::string previous = std::filesystem::current_path();
    const std::string real = encode(kCodecs[1]);
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

TEST(FfmpegLocalOnly, BadDescriptor) {
    DecodeResult r;
    FfmpegDecoder::decodeDescriptor(r, -1, AudioKind::Mp3);
    EXPECT_EQ(r.error, "no file descriptor");
}

} // namespace
} // namespace vyn
