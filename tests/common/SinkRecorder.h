#pragma once
// Records what a PulseAudio null sink played (`parec` on the sink's monitor) and finds the
// stretches of it that sound.

#include "common/ChildProcess.h"

#include <string>
#include <vector>

namespace vyn::test {

// `parec` recording a null sink's monitor as raw float32 into a file.
class SinkRecorder {
public:
    SinkRecorder(const std::string& sink, int channels, const std::string& path);
    bool running() const { return process_.started(); }
    // Waits until the recording holds `seconds` of sound on `channel` in stretches of at least
    // 0.1 s (see soundingStretches), or `timeoutSeconds` passed. A new stream on an idle null sink
    // may get no callbacks for seconds, and a loaded machine drops some: wait for the sound, not
    // for a time.
    bool waitForSound(int channel, double seconds, double timeoutSeconds = 60.0);
    // Stops the recorder and returns what it captured, interleaved.
    std::vector<float> stop();
    // Frames written so far, and what was recorded from frame `from` on (the recorder keeps
    // writing meanwhile).
    std::size_t frames() const;
    std::vector<float> read(std::size_t from = 0) const;

private:
    int channels_;
    std::string path_;
    ChildProcess process_;
};

// The stretches of a recording, at least `minSeconds` long (at 48 kHz), in which `channel`
// sounds throughout: no run of 32 samples below 0.01, which is silence or a dropout of a stream
// the machine could not feed in time. Each stretch is interleaved like the recording.
std::vector<std::vector<float>> soundingStretches(const std::vector<float>& x, int channels,
                                                  int channel, double minSeconds);
// Their total length in seconds.
double soundingSeconds(const std::vector<std::vector<float>>& stretches, int channels);

} // namespace vyn::test
