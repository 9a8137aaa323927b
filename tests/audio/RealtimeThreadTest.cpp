// The render thread's real-time priority: taken when the thread has less, never lowered.

#include "audio/RealtimeThread.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <thread>

namespace vyn {
namespace {

TEST(RealtimePriority, MovesOnlyThreadsThatHaveLess) {
    struct Case {
        bool realtime;
        int priority;
        bool moves;
    } const cases[] = {{false, 0, true}, {true, 5, true}, {true, 11, false}, {true, 70, false}};
    for (const Case& c : cases)
        EXPECT_EQ(shouldTakeRealtimePriority(c.realtime, c.priority, 11), c.moves)
            << c.realtime << " " << c.priority;
}

// SCHED_FIFO is a POSIX policy: winpthreads maps it onto Windows priority levels, where the
// raise to real-time priority is granted to any thread.
#ifndef _WIN32
TEST(RealtimePriority, AThreadAlreadyAboveKeepsItsPriority) {
    // Where the system grants real-time scheduling, a thread at FIFO 50 (as an audio server may
    // start its client thread) stays there; where it does not, the thread stays as it was.
    std::thread([] {
        sched_param high{};
        high.sched_priority = 50;
        const bool granted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &high) == 0;
        const bool realtime = raiseToRealtimePriority();
        int policy = -1;
        sched_param now{};
        ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &now), 0);
        if (granted) {
            EXPECT_TRUE(realtime);
            EXPECT_EQ(policy, SCHED_FIFO);
            EXPECT_EQ(now.sched_priority, 50);
        } else {
            EXPECT_FALSE(realtime);
            EXPECT_EQ(policy, SCHED_OTHER);
        }
    }).join();
}

#endif

} // namespace
} // namespace vyn
