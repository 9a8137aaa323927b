// The audio-thread mark on Windows, kept in native Win32 thread-local storage. mingw emulates
// thread_local: a thread's first access allocates its block and takes winpthreads' locks, which
// is neither allowed on the audio thread nor safe inside the test build's lock hooks.

#include "support/RealtimeScope.h"

#include <windows.h>

namespace vyn::realtime {
namespace {

// Allocated during start-up, before any thread can render.
const DWORD gMark = TlsAlloc();

bool marked() noexcept {
    if (gMark == TLS_OUT_OF_INDEXES) return false;
    const DWORD lastError = GetLastError(); // TlsGetValue clears it; callers may be reading it
    const bool set = TlsGetValue(gMark) != nullptr;
    SetLastError(lastError);
    return set;
}

void mark(bool on) noexcept {
    if (gMark != TLS_OUT_OF_INDEXES) TlsSetValue(gMark, on ? reinterpret_cast<void*>(1) : nullptr);
}

} // namespace

bool inAudioThread() noexcept {
    return marked();
}

AudioThreadScope::AudioThreadScope() noexcept : previous_(marked()) {
    mark(true);
}

AudioThreadScope::~AudioThreadScope() {
    mark(previous_);
}

AllowBlockingScope::AllowBlockingScope() noexcept : previous_(marked()) {
    mark(false);
}

AllowBlockingScope::~AllowBlockingScope() {
    mark(previous_);
}

} // namespace vyn::realtime
