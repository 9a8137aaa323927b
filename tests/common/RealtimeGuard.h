#pragma once
// Test-build guard for the audio thread: while vyn::realtime::AudioThreadScope is active on a
// thread, every operator new/delete and every mutex lock or condition wait on that thread is
// counted as a violation. Tests reset the count, exercise the render path and expect zero.

#include <gtest/gtest.h>

#include <string>

namespace vyn::test {

struct RealtimeViolations {
    long allocations = 0;
    long frees = 0;
    long locks = 0;
    long total() const { return allocations + frees + locks; }
    // "allocations A frees F locks L", for reports and failure messages.
    std::string text() const {
        return "allocations " + std::to_string(allocations) + " frees " + std::to_string(frees) +
               " locks " + std::to_string(locks);
    }
};

void resetRealtimeViolations();
// False under ThreadSanitizer, which intercepts the lock functions itself: then only allocations
// and frees are counted (TSan checks the locking instead).
bool realtimeLockHooksActive();
RealtimeViolations realtimeViolations();
// Success when nothing was counted since the last reset; otherwise a failure naming the counts,
// for EXPECT_TRUE at the caller's line.
::testing::AssertionResult noRealtimeViolations();

} // namespace vyn::test
