// vyn-tool waveform IN: decodes a file, analyses its waveform as the loader does, and prints the
// column count and an FNV-1a checksum of the column bytes (height, low, mid, high per column).

#include "app/DecoderRegistration.h"
#include "audio/AudioDecoder.h"
#include "dsp/Waveform.h"
#include "tool/ToolCommands.h"

#include <cstdio>
#include <string>

namespace vyn::tool {

int runWaveform(int argc, char** argv) {
    if (argc != 1) {
        std::fputs("usage: vyn-tool waveform IN\n", stderr);
        return 2;
    }
    const std::string in = argv[0];
    registerPlatformDecoders();
    const DecodeResult decoded = decodeFile(in);
    if (!decoded.ok) {
        std::fprintf(stderr, "vyn-tool waveform: %s: %s\n", in.c_str(), decoded.error.c_str());
        return 1;
    }
    const Waveform waveform =
        analyseWaveform(decoded.samples.data(), decoded.frames, decoded.sampleRate, 150.0);

    std::uint32_t hash = 2166136261u;
    const auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 16777619u;
    };
    for (const WaveColumn& c : waveform.columns) {
        mix(c.height);
        mix(c.low);
        mix(c.mid);
        mix(c.high);
    }
    std::printf("columns: %zu\ncolumnsPerSecond: %g\nchecksum: %08X\n", waveform.columns.size(),
                waveform.columnsPerSecond, static_cast<unsigned>(hash));
    return 0;
}

} // namespace vyn::tool
