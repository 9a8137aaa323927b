#pragma once
// Finds the onsets (drum hits, clicks, plucks) in a stream of interleaved stereo audio as it
// arrives, early enough for a time-stretcher to treat them before its window reaches them.
//
// The stream is cut into blocks of a few milliseconds; the energy of each block's first
// difference (which weighs the highs that mark an attack) is compared with the mean of the
// blocks before it. A block at least ten times (10 dB) above that mean, and above a floor near
// silence, holds an onset, placed at the first frame whose difference reaches a fifth of the
// block's largest. A steady tone, a chord or noise never qualifies. The first blocks after a
// reset only learn the level: a stream that starts loud is not an onset.
//
// Threading: prepare() allocates (owning thread); the rest runs on the audio thread without
// allocating or locking.

#include <array>
#include <cstdint>

namespace vyn {

class OnsetDetector {
public:
    // Blocks of `blockFrames` frames (at least 16).
    void prepare(int blockFrames);
    // Forgets the stream: the next frame scanned is stream frame 0.
    void reset();

    // Scans every whole block between the last frame scanned and stream frame `end`. `frames`
    // holds stream frames from `base` on (interleaved stereo); `end` - `base` frames are valid.
    void scan(const float* frames, std::int64_t base, std::int64_t end);

    // The earliest onset not yet taken (a stream frame), or -1 when there is none.
    std::int64_t next() const { return count_ > 0 ? pending_[head_] : -1; }
    void pop();
    // Stream frames scanned so far.
    std::int64_t scanned() const { return scanned_; }
    int blockFrames() const { return block_; }

private:
    static constexpr int kHistory = 8;
    static constexpr int kPending = 32;

    void push(std::int64_t onset);

    int block_ = 128;
    std::int64_t scanned_ = 0;
    float lastLeft_ = 0.0f;
    float lastRight_ = 0.0f;
    bool fresh_ = true;
    std::array<double, kHistory> history_{};
    int historyFill_ = 0;
    int historyPos_ = 0;
    int quietBlocks_ = 0; // blocks since the last onset
    std::array<std::int64_t, kPending> pending_{};
    int head_ = 0;
    int count_ = 0;
};

} // namespace vyn
