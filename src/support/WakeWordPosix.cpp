#include "support/WakeWord.h"

namespace vyn {

void WakeWord::bump() noexcept {
    value_.fetch_add(1, std::memory_order_release);
    value_.notify_all();
}

void WakeWord::wait(std::uint32_t seen) noexcept {
    value_.wait(seen, std::memory_order_acquire);
}

} // namespace vyn
