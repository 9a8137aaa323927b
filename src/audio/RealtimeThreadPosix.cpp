#include "audio/RealtimeThread.h"

#include <pthread.h>
#include <sched.h>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace vyn {

void enableFlushToZero() noexcept {
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() | 0x8040); // FTZ | DAZ
#endif
}

bool raiseToRealtimePriority() noexcept {
    int policy = SCHED_OTHER;
    sched_param current{};
    if (pthread_getschedparam(pthread_self(), &policy, &current) != 0) policy = SCHED_OTHER;
    const bool realtime = policy == SCHED_FIFO || policy == SCHED_RR;
    const int ours = sched_get_priority_min(SCHED_FIFO) + 10;
    if (!shouldTakeRealtimePriority(realtime, current.sched_priority, ours)) return true;
    sched_param param{};
    param.sched_priority = ours;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0 || realtime;
}

} // namespace vyn
