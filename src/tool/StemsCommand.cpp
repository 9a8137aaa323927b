// vyn-tool stems IN OUTPREFIX: splits a file with the spectral separator and writes the four
// stems as 16-bit WAVs (OUTPREFIX-drums.wav, -bass, -vocals, -other), with how long the split
// took and how many times faster than real time that is.

#include "app/DecoderRegistration.h"
#include "audio/AudioDecoder.h"
#include "audio/WavFileWriter.h"
#include "dsp/SpectralSeparator.h"
#include "tool/ToolCommands.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace vyn::tool {

int runStems(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vyn-tool stems IN OUTPREFIX\n", stderr);
        return 2;
    }
    const std::string in = argv[0];
    const std::string prefix = argv[1];

    registerPlatformDecoders();
    const DecodeResult decoded = decodeFile(in);
    if (!decoded.ok) {
        std::fprintf(stderr, "vyn-tool stems: %s: %s\n", in.c_str(), decoded.error.c_str());
        return 1;
    }
    const double rate = std::round(decoded.sampleRate);
    if (decoded.frames == 0 || !(rate >= 1.0 && rate <= 4294967295.0)) {
        std::fprintf(stderr, "vyn-tool stems: %s: nothing to separate\n", in.c_str());
        return 1;
    }
    const auto started = std::chrono::steady_clock::now();
    StemSet stems;
    if (!SpectralSeparator().separate(decoded.samples.data(),
                                      static_cast<std::int64_t>(decoded.frames), decoded.sampleRate,
                                      stems, nullptr)) {
        std::fprintf(stderr, "vyn-tool stems: %s: separation failed\n", in.c_str());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    static const char* const kNames[kStemCount] = {"drums", "bass", "vocals", "other"};
    std::printf("frames: %llu\nsampleRate: %g\n", static_cast<unsigned long long>(decoded.frames),
                decoded.sampleRate);
    for (int s = 0; s < kStemCount; ++s) {
        const std::string out = prefix + "-" + kNames[s] + ".wav";
        WavFileWriter wav;
        if (!wav.open(out, WavFileWriter::Format::Pcm16, 2, static_cast<std::uint32_t>(rate)) ||
            !wav.writeInt16(stems.stems[s].data(), decoded.frames) || !wav.finish()) {
            std::fprintf(stderr, "vyn-tool stems: %s: %s\n", out.c_str(), wav.error().c_str());
            return 1;
        }
        std::printf("%s: %s\n", kNames[s], out.c_str());
    }
    const double audioSeconds = static_cast<double>(decoded.frames) / decoded.sampleRate;
    std::printf("separationSeconds: %.3f\ntimesRealTime: %.1f\n", seconds,
                seconds > 0 ? audioSeconds / seconds : 0.0);
    return 0;
}

} // namespace vyn::tool
