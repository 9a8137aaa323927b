// What the Media Foundation decoder alone does, under wine: six channels down to stereo and its
// failure texts. The bounds every platform decoder is held to are PlatformDecodeTest's.

#include "audio/AudioDecoder.h"
#include "audio/CompressedFiles.h"
#include "audio/MediaFoundationDecoder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

namespace vyn {
namespace {

class MediaFoundationFiles : public test::CompressedFiles {};

TEST_F(MediaFoundationFiles, SixChannelsComeOutStereo) {
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

} // namespace
} // namespace vyn
