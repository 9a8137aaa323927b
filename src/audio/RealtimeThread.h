#pragma once
// Set-up for a thread that runs the render block: denormals flushed to zero (so decaying filter
// and reverb tails never fall into the slow subnormal path) and real-time scheduling where the
// system allows it (silently kept at normal priority where it does not).

namespace vyn {

void enableFlushToZero() noexcept;
// Returns true when the thread got a real-time priority.
bool raiseToRealtimePriority() noexcept;

} // namespace vyn
