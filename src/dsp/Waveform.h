#pragma once
// The coloured overview of a track: one column per 1/150 s (or whatever the analysis files
// carry), each with a height and three band levels. Immutable once built and shared as
// std::shared_ptr<const Waveform> between the loaded track, the deck views and the Link server.

#include <cstdint>
#include <vector>

namespace vyn {

struct WaveColumn {
    std::uint8_t height = 0; // 0..31
    std::uint8_t low = 0;    // 0..7
    std::uint8_t mid = 0;    // 0..7
    std::uint8_t high = 0;   // 0..7
};
static_assert(sizeof(WaveColumn) == 4);

struct Waveform {
    std::vector<WaveColumn> columns;
    double columnsPerSecond = 150.0;
};

enum class WaveformStyle : std::uint8_t { Rgb = 0, Blue = 1 };

struct WaveColour {
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
};

// Analyses interleaved stereo 16-bit PCM at `columnsPerSecond` (the loader uses 150).
Waveform analyseWaveform(const std::int16_t* stereo, std::uint64_t frames, double sampleRate,
                         double columnsPerSecond = 150.0);

// At most `maxColumns` columns: loudest height and height-weighted bands per group.
Waveform reduceWaveform(const Waveform& waveform, std::size_t maxColumns);

WaveColour waveColour(const WaveColumn& column, WaveformStyle style);

} // namespace vyn
