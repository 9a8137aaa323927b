#pragma once
// Set-up for a thread that runs the render block: denormals flushed to zero (so decaying filter
// and reverb tails never fall into the slow subnormal path) and real-time scheduling where the
// system allows it (silently kept at normal priority where it does not).

namespace vyn {

void enableFlushToZero() noexcept;
// Gives the calling thread real-time scheduling at VYN's priority, unless it already runs
// real-time at that priority or above (an audio server such as JACK may have given its client
// thread more): a priority is never lowered. Returns true when the thread runs real-time.
bool raiseToRealtimePriority() noexcept;

// The rule behind it: a thread that runs real-time (`realtime`) at `priority` moves to `ours`
// only when that is higher; a thread that does not always moves.
inline bool shouldTakeRealtimePriority(bool realtime, int priority, int ours) noexcept {
    return !realtime || priority < ours;
}

} // namespace vyn
