#include "audio/LargeBufferHint.h"

namespace vyn {

// Large pages need a privilege that desktop users do not hold: nothing to hint.
void hintLargeBuffer(void*, std::size_t) {}

} // namespace vyn
