// The Media Foundation decoder under wine, against files ffmpeg encodes at test time from a
// known signal. The shared format table says which formats wine's Media Foundation decodes; a
// format it cannot decode must fail with the decoder's own message (and says so in the log)
// rather than pass unseen.

#include "audio/AudioDecoder.h"
#include "audio/CompressedFiles.h"
#include "audio/MediaFoundationDecoder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

namespace vyn {
namespace {

using test::CompressedFormat;

class MediaFoundationFiles : public test::CompressedFiles {
protected:
    // The best correlation of one channel with the source over shifts of up to `range` frames.
    double bestCorrelation(const DecodeResult& r, int channel, long range) const {
        double best = -1.0;
        for (long lag = -range; lag <= range; lag += 1)
            best = std::max(best, test::correlation(signal_, r.samples, channel, lag));
        return best;
    }
};

class MediaFoundationCodecs : public MediaFoundationFiles,
                              public ::testing::WithParamInterface<CompressedFormat> {};

TEST_P(MediaFoundationCodecs, DecodesByPathAndDescriptorOrSaysWineCannot) {
    const CompressedFormat& codec = GetParam();
    const test::DecoderBounds& bounds = codec.mediaFoundation;
    const std::string path = encode(codec);
    const DecodeResult byPath = decodeFile(path);
    if (!bounds.decodes) {
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
              bounds.lengthTolerance)
        << "decoded " << byPath.frames << " frames of " << kFrames;
    for (int channel = 0; channel < 2; ++channel)
        EXPECT_GT(bestCorrelation(byPath, channel, bounds.lagTolerance), bounds.minCorrelation)
            << "channel " << channel;

    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(fd, 0);
    _lseek(fd, 0, SEEK_END); // the decoder rewinds
    DecodeResult byFd;
    MediaFoundationDecoder::decodeDescriptor(byFd, fd, codec.kind);
    _close(fd);
    ASSERT_TRUE(byFd.ok) << byFd.error;
    EXPECT_EQ(byFd.sampleRate, byPath.sampleRate);
    EXPECT_EQ(byFd.frames, byPath.frames);
    if (codec.kind == AudioKind::M4a) {
        // Wine's AAC decoding is not repeatable: two decodes of one file by path differ in about
        // a fifth of their samples (by up to ~120 LSB) every other run. The descriptor's decode
        // is held to the same signal bounds instead of to the path's samples.
        for (int channel = 0; channel < 2; ++channel)
            EXPECT_GT(bestCorrelation(byFd, channel, bounds.lagTolerance), bounds.minCorrelation)
                << "channel " << channel;
    } else {
        EXPECT_TRUE(byFd.samples == byPath.samples);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, MediaFoundationCodecs,
                         ::testing::ValuesIn(test::kCompressedFormats),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(MediaFoundationFiles, MonoAndSixChannelsComeOutStereoAtTheFilesOwnRate) {
    const DecodeResult mono =
        decodeFile(encode(test::compressedFormat(AudioKind::Mp3), "-ac 1 -ar 32000"));
    ASSERT_TRUE(mono.ok) << mono.error;
    EXPECT_EQ(mono.sampleRate, 32000.0);
    EXPECT_NEAR(static_cast<double>(mono.frames), 3.0 * 32000.0, 2.0 * 1152.0);
    std::size_t unequal = 0;
    for (std::size_t f = 0; f < mono.frames; ++f)
        unequal += mono.samples[2 * f] != mono.samples[2 * f + 1];
    EXPECT_EQ(unequal, 0u) << "mono plays the same on both sides";
    const DecodeResult six = decodeFile(encode(test::compressedFormat(AudioKind::M4a), "-ac 6"));
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
