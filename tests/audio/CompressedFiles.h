#pragma once
// The compressed formats the platform decoders (FFmpeg on Linux, Media Foundation on Windows) are
// tested with, each with the bounds every decoder is held to, and a fixture that has ffmpeg
// encode a known signal into them at test time.

#include "app/DecoderRegistration.h"
#include "audio/AudioFixtures.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace vyn::test {

struct DecoderBounds {
    long lengthTolerance;  // frames the decoded length may differ from the source
    long lagTolerance;     // frames the decoded signal may be shifted against the source
    double minCorrelation; // of each channel with the source, at the best shift
};

struct CompressedFormat {
    const char* name;
    const char* extension;
    const char* args; // ffmpeg's encoder options
    AudioKind kind;
    DecoderBounds ffmpeg;
    DecoderBounds mediaFoundation; // wine's, through GStreamer
};

inline const CompressedFormat kCompressedFormats[] = {
    {"Flac", "flac", "-c:a flac", AudioKind::Flac, {0, 0, 0.99999}, {0, 4096, 0.999}},
    {"Mp3",
     "mp3",
     "-c:a libmp3lame -b:a 192k",
     AudioKind::Mp3,
     {0, 0, 0.99},
     {1152 * 2, 4096, 0.95}},
    {"M4a", "m4a", "-c:a aac -b:a 192k", AudioKind::M4a, {0, 0, 0.99}, {2048, 4096, 0.95}},
    {"Ogg", "ogg", "-c:a libvorbis -q:a 6", AudioKind::Ogg, {1024, 256, 0.99}, {1024, 4096, 0.95}},
};

inline const CompressedFormat& compressedFormat(AudioKind kind) {
    for (const CompressedFormat& f : kCompressedFormats)
        if (f.kind == kind) return f;
    return kCompressedFormats[0];
}

inline void PrintTo(const CompressedFormat& format, std::ostream* os) {
    *os << format.name;
}

// Three seconds of the stereo test signal at 44.1 kHz, with the platform decoders registered.
class CompressedFiles : public ::testing::Test {
protected:
    static constexpr double kRate = 44100.0;
    static constexpr std::size_t kFrames = 3 * 44100;

    void SetUp() override {
        registerPlatformDecoders();
        dir_ = scratchDir("compressed-decode");
        signal_ = testSignal(kFrames, kRate);
        source_ = writeStereoWav(dir_ + "/source.wav", signal_, 44100);
    }
    // Encodes `input` (the test signal when empty) into `format`; `extraArgs` go before the
    // encoder's own options.
    std::string encode(const CompressedFormat& format, const std::string& extraArgs = {},
                       const std::string& input = {}) {
        const std::string out = dir_ + "/" + format.name + "." + format.extension;
        const std::string cmd = "ffmpeg -v error -y -i '" + (input.empty() ? source_ : input) +
                                "' " + extraArgs + " " + format.args + " '" + out + "'";
        EXPECT_TRUE(shell(cmd)) << cmd;
        return out;
    }
    // The shift of `decoded` against the source, searched over `range` frames either way on a
    // stretch from the middle of the signal.
    long bestLag(const std::vector<std::int16_t>& decoded, int channel, long range) const {
        return test::bestLag(signal_, decoded, 2, channel, range, kFrames / 2, 8192);
    }

    std::string dir_, source_;
    std::vector<std::int16_t> signal_;
};

} // namespace vyn::test
