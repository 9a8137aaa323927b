#pragma once
// The spectral separator: splits a track into drums, bass, vocals and other without a trained
// model. A short-time Fourier analysis (2048 points, hop 512, periodic Hann windows for analysis
// and synthesis) carries both channels in one complex transform (left + i·right) and builds three
// soft masks per frame:
// - harmonic against percussive: each bin's magnitude averaged over about 0.18 s of frames
//   (steady tones) against the same frame averaged over ±250 Hz (clicks and hits);
// - a bass band (below 180-280 Hz) and a vocal band (200-380 Hz up to 6-9.5 kHz);
// - a centre weight from |L + R| against |L - R|: vocals sit in the middle of the stereo image.
// Drums take the percussive part, bass the harmonic bass band, vocals the harmonic, centred vocal
// band; "other" is exactly the original less the three, so the stems always add up to the track.
// Every stem is aligned with the original sample for sample.
//
// Threading: stateless; all working memory belongs to one separate() call, so one object may
// serve several threads.

#include "dsp/IStemSeparator.h"

namespace vyn {

// Smoothing widths that depend on the sample rate.
struct SpectralWidths {
    int halfFrames = 1; // h: frames each side of the centre frame in the time average (1..32)
    int halfBins = 1;   // p: bins each side in the frequency average, 250 Hz (1..1024)
};
SpectralWidths spectralWidths(double sampleRate);

class SpectralSeparator final : public IStemSeparator {
public:
    bool isNeural() const override { return false; }
    std::string modelIdentity() const override { return {}; }
    // Reports progress at least every 64 frames (about 0.7 s of audio at 44.1 kHz).
    bool separate(const std::int16_t* pcm, std::int64_t frames, double sampleRate, StemSet& out,
                  const StemProgress& progress) override;
};

} // namespace vyn
