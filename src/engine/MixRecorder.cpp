#include "engine/MixRecorder.h"

#include "support/FileIo.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace vyn {

MixRecorder::MixRecorder(const CommandCapture& sets, MixRecorderOptions options)
    : sets_(sets), options_(options) {}

MixRecorder::~MixRecorder() {
    stop();
}

std::string MixRecorder::currentPath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return file_ ? file_->path() : std::string();
}

std::string MixRecorder::writeError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writeError_;
}

std::uint64_t MixRecorder::fileStart() const {
    const auto first = static_cast<std::uint64_t>(firstFrame_.load(std::memory_order_acquire));
    return from_ >= 0 && static_cast<std::uint64_t>(from_) < first
               ? static_cast<std::uint64_t>(from_)
               : first;
}

bool MixRecorder::start(const std::string& path, double sampleRate, std::int64_t fromFrame) {
    if (recording()) {
        error_ = "the mix is being recorded already";
        return false;
    }
    error_.clear();
    sampleRate_ = std::isfinite(sampleRate) && sampleRate > 0 ? sampleRate : 48000.0;
    auto file = std::make_unique<WavRecordingFile>();
    if (!file->open(path, 2, static_cast<std::uint32_t>(std::lround(sampleRate_)),
                    options_.riffLimit)) {
        error_ = file->error();
        return false;
    }
    samples_.allocate(static_cast<std::size_t>(
        std::ceil(std::max(options_.ringSeconds, 0.05) * sampleRate_ * 2.0)));
    Block ignored;
    while (blocks_.pop(ignored)) {
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        file_ = std::move(file);
        next_.reset();
        files_ = {path};
        writeError_.clear();
    }
    lost_.store(0, std::memory_order_relaxed);
    firstFrame_.store(-1, std::memory_order_relaxed);
    nextFrame_.store(0, std::memory_order_relaxed);
    splitWanted_.store(false, std::memory_order_relaxed);
    splitFrame_.store(-1, std::memory_order_relaxed);
    stopping_.store(false, std::memory_order_relaxed);
    endFrame_.store(-1, std::memory_order_relaxed);
    framesWritten_.store(0, std::memory_order_relaxed);
    started_ = split_ = false;
    from_ = fromFrame;
    scratch_.assign(2 * 2048, 0.0f);
    writer_ = std::thread([this] { writerLoop(); });
    active_.store(true, std::memory_order_seq_cst); // the ring and state are published with it
    return true;
}

bool MixRecorder::splitAtNextSetStart(std::uint32_t currentSetId, const std::string& path) {
    if (!recording() || splitWanted_.load(std::memory_order_acquire)) return false;
    auto file = std::make_unique<WavRecordingFile>();
    if (!file->open(path, 2, static_cast<std::uint32_t>(std::lround(sampleRate_)),
                    options_.riffLimit)) {
        error_ = file->error();
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next_ = std::move(file);
    }
    splitAfterId_.store(currentSetId, std::memory_order_relaxed);
    splitFrame_.store(-1, std::memory_order_relaxed);
    splitWanted_.store(true, std::memory_order_release);
    return true;
}

MixRecordingResult MixRecorder::stop() {
    MixRecordingResult result;
    if (!recording()) return result;
    active_.store(false, std::memory_order_seq_cst);
    // The audio thread is at most one block inside the tap; after it leaves, nothing more comes.
    while (inTap_.load(std::memory_order_seq_cst))
        std::this_thread::yield();
    endFrame_.store(firstFrame_.load(std::memory_order_acquire) < 0
                        ? -1
                        : static_cast<std::int64_t>(nextFrame_.load(std::memory_order_acquire)),
                    std::memory_order_relaxed);
    stopping_.store(true, std::memory_order_release);
    writer_.join();
    splitWanted_.store(false, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(mutex_);
    result.files = files_;
    result.frames = file_ ? file_->frames() : 0;
    result.lostFrames = lost_.load(std::memory_order_relaxed);
    result.error = writeError_;
    file_.reset();
    next_.reset();
    return result;
}

void MixRecorder::onMasterBlock(const float* stereo, int frames,
                                std::uint64_t engineFrame) noexcept {
    inTap_.store(true, std::memory_order_seq_cst);
    if (active_.load(std::memory_order_seq_cst) && frames > 0) {
        if (firstFrame_.load(std::memory_order_relaxed) < 0)
            firstFrame_.store(static_cast<std::int64_t>(engineFrame), std::memory_order_release);
        if (splitWanted_.load(std::memory_order_acquire) &&
            splitFrame_.load(std::memory_order_relaxed) < 0) {
            const std::uint32_t id = sets_.startedId();
            if (id != 0 && id != splitAfterId_.load(std::memory_order_relaxed)) {
                const std::int64_t at = sets_.startFrameOf(id);
                if (at >= 0) splitFrame_.store(at, std::memory_order_release);
            }
        }
        const auto n = static_cast<std::uint32_t>(frames);
        // The block's description only goes in after its samples, and only when both fit.
        if (blocks_.size() < blocks_.capacity() && samples_.write(stereo, 2u * n))
            blocks_.push(Block{engineFrame, n});
        else
            lost_.fetch_add(n, std::memory_order_relaxed);
        nextFrame_.store(engineFrame + n, std::memory_order_release);
    }
    inTap_.store(false, std::memory_order_seq_cst);
}

// --- writer thread ---

void MixRecorder::noteFileError() {
    if (file_->error().empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (writeError_.empty()) writeError_ = file_->error();
}

void MixRecorder::padTo(std::uint64_t frame) {
    if (frame <= expected_) return;
    file_->appendSilence(static_cast<std::size_t>(frame - expected_));
    expected_ = frame;
}

bool MixRecorder::switchFiles(std::uint64_t atFrame) {
    padTo(atFrame);
    file_->close();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_->error().empty() && writeError_.empty()) writeError_ = file_->error();
    if (!next_) return false;
    file_ = std::move(next_);
    files_.push_back(file_->path());
    expected_ = atFrame;
    split_ = true;
    return true;
}

void MixRecorder::writeBlock(const Block& block) {
    if (!started_) {
        expected_ = fileStart();
        started_ = true;
    }
    const std::int64_t splitAt = splitFrame_.load(std::memory_order_acquire);
    if (!split_ && splitAt >= 0 && block.frame >= static_cast<std::uint64_t>(splitAt))
        switchFiles(static_cast<std::uint64_t>(splitAt));
    padTo(block.frame); // blocks lost in between
    std::size_t left = 2u * block.frames;
    while (left > 0) {
        const std::size_t got = samples_.read(scratch_.data(), std::min(left, scratch_.size()));
        if (got == 0) break; // cannot happen: a block's samples precede it
        file_->append(scratch_.data(), got / 2);
        left -= got;
    }
    expected_ = block.frame + block.frames;
    framesWritten_.store(file_->frames(), std::memory_order_relaxed);
}

void MixRecorder::writerLoop() {
    using Clock = std::chrono::steady_clock;
    const auto headerEvery = std::chrono::duration<double>(options_.headerSeconds);
    auto lastHeader = Clock::now();
    for (;;) {
        const bool stopping = stopping_.load(std::memory_order_acquire);
        Block block;
        int written = 0;
        while (blocks_.pop(block)) {
            writeBlock(block);
            ++written;
        }
        noteFileError();
        if (stopping) break;
        if (Clock::now() - lastHeader >= headerEvery) {
            file_->updateHeader();
            lastHeader = Clock::now();
        }
        if (written == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::int64_t end = endFrame_.load(std::memory_order_relaxed);
    if (end >= 0) {
        if (!started_) {
            expected_ = fileStart();
            started_ = true;
        }
        const std::int64_t splitAt = splitFrame_.load(std::memory_order_acquire);
        if (!split_ && splitAt >= 0 && splitAt < end)
            switchFiles(static_cast<std::uint64_t>(splitAt));
        padTo(static_cast<std::uint64_t>(end));
    }
    file_->close();
    framesWritten_.store(file_->frames(), std::memory_order_relaxed);
    noteFileError();
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_) {
        // The set never started while the mix was recorded: its file stays unborn.
        const std::string unused = next_->path();
        next_->close();
        next_.reset();
        removeFile(unused);
    }
}

} // namespace vyn
