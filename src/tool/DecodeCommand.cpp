// vyn-tool decode IN OUT.wav: decodes any file the player can load and writes what the decks
// would play (16-bit stereo at the file's own rate), so a decode can be checked from outside.

#include "app/DecoderRegistration.h"
#include "audio/AudioDecoder.h"
#include "audio/WavFileWriter.h"
#include "tool/ToolCommands.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace vyn::tool {

int runDecode(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vyn-tool decode IN OUT.wav\n", stderr);
        return 2;
    }
    const std::string in = argv[0];
    const std::string out = argv[1];

    registerPlatformDecoders();
    const DecodeResult decoded = decodeFile(in);
    if (!decoded.ok) {
        std::fprintf(stderr, "vyn-tool decode: %s: %s\n", in.c_str(), decoded.error.c_str());
        return 1;
    }
    // A WAV header carries a whole number of frames per second.
    const double rate = std::round(decoded.sampleRate);
    if (!(rate >= 1.0 && rate <= 4294967295.0)) {
        std::fprintf(stderr, "vyn-tool decode: %s: sample rate %g cannot be written to a WAV\n",
                     in.c_str(), decoded.sampleRate);
        return 1;
    }
    WavFileWriter wav;
    if (!wav.open(out, WavFileWriter::Format::Pcm16, 2, static_cast<std::uint32_t>(rate)) ||
        !wav.writeInt16(decoded.samples.data(), decoded.frames) || !wav.finish()) {
        std::fprintf(stderr, "vyn-tool decode: %s: %s\n", out.c_str(), wav.error().c_str());
        return 1;
    }
    std::printf("frames: %llu\nsampleRate: %g\n", static_cast<unsigned long long>(decoded.frames),
                decoded.sampleRate);
    return 0;
}

} // namespace vyn::tool
