#pragma once
// Marks the current thread as running the real-time render block. The engine sets the mark around
// every render call; test builds install hooks (allocation, locks) that fail when they run while
// the mark is set, which is how "the audio thread never allocates or locks" is checked rather
// than promised. Outside tests the mark costs one thread-local store per block.

namespace vyn::realtime {

bool inAudioThread() noexcept;

class AudioThreadScope {
public:
    AudioThreadScope() noexcept;
    ~AudioThreadScope();
    AudioThreadScope(const AudioThreadScope&) = delete;
    AudioThreadScope& operator=(const AudioThreadScope&) = delete;

private:
    bool previous_;
};

// Temporarily lifts the mark, for code that runs on the audio thread's stack but is not part of
// the render block (a test's own bookkeeping, for example).
class AllowBlockingScope {
public:
    AllowBlockingScope() noexcept;
    ~AllowBlockingScope();
    AllowBlockingScope(const AllowBlockingScope&) = delete;
    AllowBlockingScope& operator=(const AllowBlockingScope&) = delete;

private:
    bool previous_;
};

} // namespace vyn::realtime
