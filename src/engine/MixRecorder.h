#pragma once
// Records what the audience hears, the master, as a WAV file while playing. The audio thread only
// copies each block into a lock-free ring (or, when the ring is full, counts the block's frames
// as lost); a writer thread encodes and writes, fills lost frames with silence so the file keeps
// time, and brings the header up to date every couple of seconds and at the end, so a crash
// leaves a valid file. Past 4 GiB the file becomes RF64.
//
// A set recording that starts while the mix is being recorded splits the file: the file so far
// ends where the set's frame 0 begins, and a second file starts exactly there, so the set and its
// mix line up.
//
// Threading: start/splitAtNextSetStart/stop and the getters run on the user-interface thread;
// onMasterBlock on the audio thread (never locks, allocates or waits); the writer thread is the
// recorder's own.

#include "audio/WavRecordingFile.h"
#include "engine/CommandCapture.h"
#include "engine/MasterTap.h"
#include "support/SampleRing.h"
#include "support/SpscRing.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vyn {

struct MixRecorderOptions {
    double ringSeconds = 4.0;   // of stereo audio the writer may fall behind by
    double headerSeconds = 2.0; // the longest a crash may cut off the end of the file
    std::uint64_t riffLimit = WavRecordingFile::kRiffLimit;
};

struct MixRecordingResult {
    std::vector<std::string> files; // in recording order (two after a split)
    std::uint64_t frames = 0;       // of the last file
    std::uint64_t lostFrames = 0;   // over the whole recording
    std::string error;              // the writer's first failure, if any
};

class MixRecorder final : public MasterTap {
public:
    explicit MixRecorder(const CommandCapture& sets, MixRecorderOptions options = {});
    ~MixRecorder() override;
    MixRecorder(const MixRecorder&) = delete;
    MixRecorder& operator=(const MixRecorder&) = delete;

    // Creates `path` and records from the next block on. False (see error()) when the file
    // cannot be created or a recording runs already. With `fromFrame` (an engine frame already
    // rendered, e.g. where a running set recording began) the file starts there, silent until
    // the recording's first block, so it lines up with that set.
    bool start(const std::string& path, double sampleRate, std::int64_t fromFrame = -1);
    // The recording in progress goes on in `path` from the frame at which the next set recording
    // (one newer than `currentSetId`) begins. False when `path` cannot be created.
    bool splitAtNextSetStart(std::uint32_t currentSetId, const std::string& path);
    // Ends the recording: pads what was lost at the end, writes the final header, closes.
    MixRecordingResult stop();

    bool recording() const { return writer_.joinable(); }
    // Frames of the current file so far, as far as the writer got.
    std::uint64_t framesWritten() const { return framesWritten_.load(std::memory_order_relaxed); }
    std::uint64_t lostFrames() const { return lost_.load(std::memory_order_relaxed); }
    double sampleRate() const { return sampleRate_; }
    const std::string& error() const { return error_; }
    // The writer's first failure (a full disk...), empty while all goes well.
    std::string writeError() const;
    // The path the audio currently goes to (the second file once a split took place).
    std::string currentPath() const;

    void onMasterBlock(const float* stereo, int frames,
                       std::uint64_t engineFrame) noexcept override;

private:
    struct Block {
        std::uint64_t frame = 0;
        std::uint32_t frames = 0;
    };
    void writerLoop();
    void writeBlock(const Block& block);
    bool switchFiles(std::uint64_t atFrame);
    void padTo(std::uint64_t frame);
    void noteFileError();
    std::uint64_t fileStart() const;

    const CommandCapture& sets_;
    MixRecorderOptions options_;
    double sampleRate_ = 48000.0;
    std::string error_; // user-interface thread

    // Audio thread -> writer.
    SampleRing samples_;
    SpscRing<Block, 8192> blocks_;
    std::atomic<bool> active_{false};
    std::atomic<bool> inTap_{false};
    std::atomic<std::uint64_t> lost_{0};
    std::atomic<std::int64_t> firstFrame_{-1};
    std::atomic<std::uint64_t> nextFrame_{0};
    std::atomic<bool> splitWanted_{false};
    std::atomic<std::uint32_t> splitAfterId_{0};
    std::atomic<std::int64_t> splitFrame_{-1};

    // Writer thread state; the files are handed over under the mutex.
    mutable std::mutex mutex_;
    std::unique_ptr<WavRecordingFile> file_;
    std::unique_ptr<WavRecordingFile> next_;
    std::vector<std::string> files_;
    std::string writeError_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::int64_t> endFrame_{-1};
    std::atomic<std::uint64_t> framesWritten_{0};
    std::uint64_t expected_ = 0;
    bool started_ = false;
    bool split_ = false;
    std::int64_t from_ = -1; // set before the writer starts, read by it
    std::vector<float> scratch_;
    std::thread writer_;
};

} // namespace vyn
