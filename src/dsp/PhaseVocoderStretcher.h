#pragma once
// High-quality time-stretcher on interleaved stereo float audio: a phase vocoder with phase
// locking around spectral peaks, and onsets copied through unchanged.
//
// Frames of N input frames (about 170 ms, a power of two: long enough that the notes of a chord
// and of a bass line fall in peaks of their own) are Hann-windowed and transformed by one
// complex FFT carrying left + i*right. The peaks of the summed power spectrum are found, each
// peak's frequency is measured from its phase advance since the previous frame, and the peak is
// turned on by that frequency over the synthesis hop N/4. Every bin takes the rotation of the
// peak whose region it lies in (identity phase locking), so a partial keeps the shape of its
// main lobe and the partials of a chord keep their relations; left and right take the same
// rotation, so the stereo image stays as it was. Frames are windowed again and overlap-added
// every N/4 output frames while the analysis moves on by N/4 x ratio input frames.
//
// Onsets found by an OnsetDetector ahead of the window are kept sharp: from the first frame
// whose window reaches an onset until the onset has left the window, frames are copied from the
// input unchanged (the phases reset to the input's), in step with the output, so the attack is
// the input's own. The run is placed so that the onset sounds when the tempo says it should; the
// frames after it make up the difference, so the tempo stays exact over any length. An onset
// that comes into the run's windows is copied with it (a flam keeps its shape), but a run never
// strays more than 20 ms from the tempo (or what one onset needs at the ratio): where onsets keep
// coming closer together than a window, the run ends there and the onsets still in its windows
// are stretched like the rest of the sound. The first frame after a reset is copied too, at full
// level from its first sample.
//
// Threading: prepare() allocates and belongs to the owning thread before rendering starts; every
// other call is made from the audio thread only and neither allocates nor locks.

#include "dsp/Fft.h"
#include "dsp/ITimeStretcher.h"
#include "dsp/OnsetDetector.h"

#include <complex>
#include <cstdint>
#include <vector>

namespace vyn {

class PhaseVocoderStretcher final : public ITimeStretcher {
public:
    PhaseVocoderStretcher() = default;

    // The variant (a deck index) shifts when in the block cycle this stretcher makes its frames,
    // by an eighth of a hop per variant, so that decks started together share out the work.
    void prepare(double sampleRate, int maxBlockFrames, int variant) override;
    void reset() override;
    void setRatio(double ratio) override;
    double ratio() const override { return ratio_; }
    int inputFramesFor(int outputFrames) const override;
    void process(const float* input, int inputFrames, float* output, int outputFrames) override;
    int windowFrames() const override { return n_; }
    double latencyFrames() const override;
    const char* name() const override { return "phase-vocoder"; }

    // The most new input one block of `maxBlock` output frames can need (at ratio 4) at
    // `sampleRate`, window and look-ahead included.
    static int inputFramesPerBlock(double sampleRate, int maxBlock);

    int hopFrames() const { return hop_; }
    int inputCapacity() const { return inputCapacity_; }
    int inputFill() const { return inputFill_; }

private:
    struct FramePlan {
        std::int64_t start = 0; // stream frame of the window's first frame
        bool literal = false;   // copied from the input with its own phases
    };

    bool frameAvailable() const;
    FramePlan planFrame();
    void takeOnsetsWithin(std::int64_t start);
    void synthesise(const FramePlan& plan);
    void analyse(const float* frames);
    void lockPhases(int analysisHop);
    void resynthesise(float* dst);

    double sampleRate_ = 48000.0;
    double ratio_ = 1.0;
    int n_ = 0;         // window and FFT length
    int hop_ = 0;       // synthesis hop, n_/4
    int slack_ = 0;     // how far the analysis may stray from the ideal tempo line
    int lookAhead_ = 0; // input wanted beyond a window so the onset detector has seen it
    int maxBlock_ = 0;
    int lead_ = 0; // output made ahead of demand, by variant
    int inputCapacity_ = 0;
    int outputCapacity_ = 0;

    Fft fft_;
    std::vector<float> window_;        // periodic Hann, for analysis and synthesis
    std::vector<float> literalGain_;   // window^2 / 1.5: a copied frame's share of the overlap
    std::vector<float> firstGain_;     // the first frame after a reset: full level from frame 0
    std::vector<float> synthesisGain_; // window / (1.5 N) for the unscaled inverse transform
    std::vector<std::complex<float>> turn_; // e^(i 2 pi k / N)
    std::vector<std::complex<float>> spectrum_;
    std::vector<std::complex<float>> previous_;
    std::vector<std::complex<float>> work_;
    std::vector<std::complex<float>> rotation_; // per bin 0..N/2
    std::vector<std::complex<float>> previousRotation_;
    std::vector<float> power_;
    std::vector<int> peaks_;
    std::vector<std::complex<float>> peakRotation_;
    std::vector<float> input_;
    std::vector<float> output_;
    OnsetDetector onsets_;

    int inputFill_ = 0;
    std::int64_t inputBase_ = 0; // stream frame of input_[0]
    int outputReady_ = 0;
    std::int64_t delivered_ = 0; // output frames handed out since the reset
    bool primed_ = false;
    std::int64_t lastStart_ = 0;  // stream frame where the last frame's window started
    std::int64_t lastOutput_ = 0; // output frame where it was placed
    double lastSlope_ = 1.0;      // input frames per output frame across it
    double idealCentre_ = 0.0;    // where the next window's centre belongs at the exact tempo
    bool literalRun_ = false;
    std::int64_t literalUntil_ = 0; // the run goes on while windows start at or before this
    double runDrift_ = 0.0;         // frames a run may stray from the tempo line
};

} // namespace vyn
