// The FFmpeg platform decoder against files ffmpeg encodes at test time from a known signal:
// rate, length (encoder delay and padding trimmed), correlation with the source, channel
// handling, descriptors, and the local-files-only rule.

#include "app/DecoderRegistration.h"
#include "audio/AudioDecoder.h"
#include "audio/AudioFixtures.h"
#include "audio/FfmpegDecoder.h"

#include <fcntl.h>
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

TEST_F(FfmpegFiles, SixChannelsKeepTheFirstTwoAsLeftAndRight) {
    // Channels 0 and 1 carry the signal, the others loud unrelated noise that a downmix would
    // blend in.
    const std::string six = dir_ + "/six.wav";
    ASSERT_TRUE(test::shell("sox -D '" + source_ + "' '" + six +
                            "' remix 1 2 1v-1 2v-1 1v0.5,2v0.5 2v-0.5"));
    const DecodeResult r = decodeFile(encode(kCodecs[0], "-channel_layout 5.1", six));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.frames, kFrames);
    EXPECT_TRUE(r.samples == signal_) << "FLAC is lossless: left and right are channels 0 and 1";
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

TEST(FfmpegLocalOnly, PathsWithAUrlSchemeAreRefused) {
    for (const char* url : {"http://127.0.0.1:9/song.mp3", "https://example.invalid/a.flac",
                            "pipe:0", "concat:/a.mp3|/b.mp3", "file:///tmp/a.mp3", "tcp://x:1",
                            "subfile,,start,0,end,0,,:/tmp/a.mp3"}) {
        DecodeResult r;
        FfmpegDecoder::decodeFile(r, url, AudioKind::Mp3);
        EXPECT_FALSE(r.ok) << url;
        // A scheme is recognised and refused before FFmpeg sees the name; anything that does
        // not parse as one is opened as a local file name, which does not exist.
        EXPECT_TRUE(r.error == "only local files can be decoded" ||
                    r.error == "FFmpeg could not open the file (sniffed as MP3)")
            << url << ": " << r.error;
    }
    EXPECT_TRUE(FfmpegDecoder::hasUrlScheme("http://x/y.mp3"));
    EXPECT_TRUE(FfmpegDecoder::hasUrlScheme("pipe:0"));
    EXPECT_TRUE(FfmpegDecoder::hasUrlScheme("concat:a|b"));
    EXPECT_TRUE(FfmpegDecoder::hasUrlScheme("rtmp+s.x-y:abc"));
    EXPECT_FALSE(FfmpegDecoder::hasUrlScheme("/music/http:odd.mp3"));
    EXPECT_FALSE(FfmpegDecoder::hasUrlScheme("C:\\music\\a.mp3"));
    EXPECT_FALSE(FfmpegDecoder::hasUrlScheme("song.mp3"));
    EXPECT_FALSE(FfmpegDecoder::hasUrlScheme("./pipe:0"));
    EXPECT_FALSE(FfmpegDecoder::hasUrlScheme(""));
}

TEST(FfmpegLocalOnly, BadDescriptor) {
    DecodeResult r;
    FfmpegDecoder::decodeDescriptor(r, -1, AudioKind::Mp3);
    EXPECT_EQ(r.error, "no file descriptor");
}

} // namespace
} // namespace vyn
