#pragma once
// A memory hint for decoded tracks. One implementation per platform (LargeBufferHintPosix.cpp,
// LargeBufferHintWindows.cpp).
//
// Threading: no shared state.

#include <cstddef>

namespace vyn {

// Tells the system that [data, data + bytes) is a large buffer about to be filled once and then
// kept: backing it with large pages saves most of the page faults of a track's worth of memory.
// Only a hint; does nothing where unsupported.
void hintLargeBuffer(void* data, std::size_t bytes);

} // namespace vyn
