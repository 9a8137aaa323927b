#include "support/RealtimeScope.h"

namespace vyn::realtime {
namespace {
thread_local bool tAudioThread = false;
}

bool inAudioThread() noexcept {
    return tAudioThread;
}

AudioThreadScope::AudioThreadScope() noexcept : previous_(tAudioThread) {
    tAudioThread = true;
}
AudioThreadScope::~AudioThreadScope() {
    tAudioThread = previous_;
}

AllowBlockingScope::AllowBlockingScope() noexcept : previous_(tAudioThread) {
    tAudioThread = false;
}
AllowBlockingScope::~AllowBlockingScope() {
    tAudioThread = previous_;
}

} // namespace vyn::realtime
