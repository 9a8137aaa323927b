// Windows: the render thread joins the multimedia class "Pro Audio" (MMCSS) at high priority and
// leaves it when the thread ends.

#include "audio/RealtimeThread.h"

#include <windows.h>

#include <avrt.h>
#include <xmmintrin.h>

namespace vyn {
namespace {

// Reverts the thread's MMCSS registration when the thread exits.
struct MmcssRegistration {
    HANDLE task = nullptr;
    ~MmcssRegistration() {
        if (task) AvRevertMmThreadCharacteristics(task);
    }
};

thread_local MmcssRegistration tRegistration;

} // namespace

void enableFlushToZero() noexcept {
    _mm_setcsr(_mm_getcsr() | 0x8040); // FTZ | DAZ
}

bool raiseToRealtimePriority() noexcept {
    if (tRegistration.task) return true;
    DWORD taskIndex = 0;
    HANDLE task = AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);
    if (!task) return false;
    tRegistration.task = task;
    AvSetMmThreadPriority(task, AVRT_PRIORITY_HIGH);
    return true;
}

} // namespace vyn
