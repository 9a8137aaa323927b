// The Media Foundation decoder under wine, against files ffmpeg encodes at test time from a
// known signal. Wine's Media Foundation decodes through GStreamer and only for the containers it
// registers a byte-stream handler for: each format below says whether wine decodes it, and a
// format it cannot decode must fail with the decoder's own message (and says so in the log)
// rather than pass unseen.

#include "app/DecoderRegistration.h"
#include "audio/AudioDecoder.h"
#include "audio/AudioFixtures.h"
#include "audio/MediaFoundationDecoder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

namespace vyn {
namespace {

constexpr double kRate = 44100.0;
constexpr std::size_t kFrames = 3 * 44100;

struct Codec {
    const char* name;
    const char* extension;
    const char* args;
    AudioKind kind;
    bool wineDecodes;
    long lengthTolerance; // frames the decoded length may differ from the source
    double minCorrelation;
};

const Codec kCodecs[] = {
    {"Mp3", "mp3", "-c:a libmp3lame -b:a 192k", AudioKind::Mp3, true, 1152 * 2, 0.95},
    {"M4a", "m4a", "-c:a aac -b:a 192k", AudioKind::M4a, true, 2048, 0.95},
    {"Flac", "flac", "-c:a flac", AudioKind::Flac, false, 0, 0.999},
    {"Ogg", "ogg", "-c:a libvorbis -q:a 6", AudioKind::Ogg, false, 1024, 0.95},
};

void PrintTo(const Codec& codec, std::ostream* os) {
    *os << codec.name;
}

class MediaFoundationFiles : public ::testing::Test {
protected:
    void SetUp() override {
        registerPlatformDecoders();
        dir_ = test::scratchDir("mf-decode");
        signal_ = test::testSignal(kFrames, kRate);
        source_ = test::writeStereoWav(dir_ + "/source.wav", signal_, 44100);
    }
    std::string encode(const Codec& codec, const std::string& extraArgs = {}) {
        const std::string out = dir_ + "/" + codec.name + "." + codec.extension;
        const std::string cmd = "ffmpeg -v error -y -i '" + source_ + "' " + extraArgs + " " +
                                codec.args + " '" + out + "'";
        EXPECT_TRUE(test::shell(cmd)) << cmd;
        return out;
    }
    // The best correlation of one channel with the source over shifts of up to 4096 frames
    // (decoders may keep some encoder delay).
    double bestCorrelation(const DecodeResult& r, int channel) const {
        double best = -1.0;
        for (long lag = -4096; lag <= 4096; lag += 1)
            best = std::max(best, test::correlation(signal_, r.samples, channel, lag));
        return best;
    }

    std::string dir_, source_;
    std::vector<std::int16_t> signal_;
};

class MediaFoundationCodecs : public MediaFoundationFiles,
                              public ::testing::WithParamInterface<Codec> {};

TEST_P(MediaFoundationCodecs, DecodesByPathAndDescriptorOrSaysWineCannot) {
    const Codec& codec = GetParam();
    const std::string path = encode(codec);
    const DecodeResult byPath = decodeFile(path);
    if (!codec.wineDecodes) {
        EXPECT_FALSE(byPath.ok) << "wine now decodes " << codec.name << ": mark it supported";
        EXPECT_NE(byPath.error.find(audioKindName(codec.kind)), std::string::npos) << byPath.error;
        std::printf("[   NOTE   ] wine's Media Foundation cannot decode %s: %s\n", codec.name,
                    byPath.error.c_str());
        return;
    }
    ASSERT_TRUE(byPath.ok) << byPath.error;
    EXPECT_EQ(byPath.sampleRate, kRate);
    EXPECT_EQ(byPath.samples.size(), byPath.frames * 2);
    EXPECT_LE(std::labs(static_cast<long>(byPath.frames) - static_cast<long>(kFrames)),
              codec.lengthTolerance)
        << "decoded " << byPath.frames << " frames of " << kFrames;
    for (int channel = 0; channel < 2; ++channel)
        EXPECT_GT(bestCorrelation(byPath, channel), codec.minCorrelation) << "channel " << channel;

    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(fd, 0);
    _lseek(fd, 0, SEEK_END); // the decoder rewinds
    DecodeResult byFd;
    MediaFoundationDecoder::decodeDescriptor(byFd, fd, codec.kind);
    _close(fd);
    ASSERT_TRUE(byFd.ok) << byFd.error;
    EXPECT_EQ(byFd.sampleRate, byPath.sampleRate);
    EXPECT_EQ(byFd.frames, byPath.frames);
    EXPECT_TRUE(byFd.samples == byPath.samples);
}

INSTANTIATE_TEST_SUITE_P(Formats, MediaFoundationCodecs, ::testing::ValuesIn(kCodecs),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(MediaFoundationFiles, MonoAndSixChannelsComeOutStereoAtTheFilesOwnRate) {
    const DecodeResult mono = decodeFile(encode(kCodecs[0], "-ac 1 -ar 32000"));
    ASSERT_TRUE(mono.ok) << mono.error;
    EXPECT_EQ(mono.sampleRate, 32000.0);
    EXPECT_NEAR(static_cast<double>(mono.frames), 3.0 * 32000.0, 2.0 * 1152.0);
    const DecodeResult six = decodeFile(encode(kCodecs[1], "-ac 6"));
    ASSERT_TRUE(six.ok) << six.error;
    EXPECT_EQ(six.sampleRate, kRate);
    EXPECT_EQ(six.samples.size(), six.frames * 2);
}

TEST_F(MediaFoundationFiles, FailuresCarryTheirFixedTexts) {
    DecodeResult r;
    MediaFoundationDecoder::decodeFile(r, dir_ + "/missing.mp3", AudioKind::Mp3);
    EXPECT_EQ(r.error, "Media Foundation could not open the file (sniffed as MP3)");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.samples.empty());
    EXPECT_EQ(r.sampleRate, 0.0);

    MediaFoundationDecoder::decodeFile(r, "", AudioKind::Mp3);
    EXPECT_EQ(r.error, "path is not valid UTF-8");
    MediaFoundationDecoder::decodeFile(r, "bad\xC3(.mp3", AudioKind::Mp3);
    EXPECT_EQ(r.error, "path is not valid UTF-8");

    MediaFoundationDecoder::decodeDescriptor(r, -1, AudioKind::Mp3);
    EXPECT_EQ(r.error, "no file descriptor");
    const std::string empty = test::writeBytes(dir_ + "/empty.mp3", {});
    const int fd = _open(empty.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(fd, 0);
    MediaFoundationDecoder::decodeDescriptor(r, fd, AudioKind::Mp3);
    _close(fd);
    EXPECT_EQ(r.error, "descriptor held no data");
}

TEST_F(MediaFoundationFiles, DamagedFileFailsWithTheKindInTheMessage) {
    test::Bytes junk = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 5000; ++i)
        junk.push_back(static_cast<unsigned char>(i * 7919 >> 3));
    const DecodeResult r = decodeFile(test::writeBytes(dir_ + "/junk.mp3", junk));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("MP3"), std::string::npos) << r.error;
}

} // namespace
} // namespace vyn
