#include "engine/CommandCapture.h"

#include "engine/LoadedTrack.h"
#include "support/Utf8.h"

#include <cstring>

namespace vyn {

std::uint32_t CommandCapture::requestStart() noexcept {
    if (++nextId_ == 0) ++nextId_;
    active_.store(false, std::memory_order_release);
    sharedStartId_.store(0, std::memory_order_release);
    id_.store(nextId_, std::memory_order_release);
    startPending_.store(true, std::memory_order_release);
    return nextId_;
}

void CommandCapture::requestFinish() noexcept {
    active_.store(false, std::memory_order_release);
    startPending_.store(false, std::memory_order_release);
}

void CommandCapture::tick(std::uint64_t engineFrame) noexcept {
    engineFrame_.store(engineFrame, std::memory_order_release);
    if (startPending_.exchange(false, std::memory_order_acq_rel)) {
        startFrame_ = engineFrame;
        sharedStart_.store(static_cast<std::int64_t>(engineFrame), std::memory_order_release);
        sharedStartId_.store(id_.load(std::memory_order_acquire), std::memory_order_release);
        active_.store(true, std::memory_order_release);
    }
}

std::int64_t CommandCapture::framesSinceStart() const noexcept {
    if (!active_.load(std::memory_order_acquire)) return 0;
    const std::int64_t start = sharedStart_.load(std::memory_order_acquire);
    const auto now = static_cast<std::int64_t>(engineFrame_.load(std::memory_order_acquire));
    return start >= 0 && now > start ? now - start : 0;
}

std::int64_t CommandCapture::startFrameOf(std::uint32_t id) const noexcept {
    if (id == 0 || sharedStartId_.load(std::memory_order_acquire) != id) return -1;
    return sharedStart_.load(std::memory_order_acquire);
}

void CommandCapture::capture(const Command& command, std::uint64_t engineFrame) noexcept {
    if (!active_.load(std::memory_order_acquire)) return;
    CapturedCommand r;
    r.frame = engineFrame >= startFrame_ ? static_cast<std::int64_t>(engineFrame - startFrame_) : 0;
    r.recordingId = id_.load(std::memory_order_relaxed);
    r.command = command.type;
    r.deck = command.deck;
    r.value = command.value;
    if (command.commandType() == CommandType::LOAD_TRACK && command.track) {
        r.trackId = command.track->id;
        // Cut on a code point boundary so a long path never records broken UTF-8.
        const std::string_view p = utf8::truncate(command.track->path, sizeof(r.path) - 1);
        std::memcpy(r.path, p.data(), p.size());
        r.path[p.size()] = '\0';
    }
    if (!ring_.push(r)) dropped_.fetch_add(1, std::memory_order_relaxed);
}

} // namespace vyn
