#include "support/WakeWord.h"

#include <windows.h>

#include <synchapi.h>

namespace vyn {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t),
              "WaitOnAddress watches the counter's own four bytes");

void WakeWord::bump() noexcept {
    value_.fetch_add(1, std::memory_order_release);
    WakeByAddressAll(&value_);
}

void WakeWord::wait(std::uint32_t seen) noexcept {
    while (value_.load(std::memory_order_acquire) == seen)
        WaitOnAddress(&value_, &seen, sizeof seen, INFINITE);
}

} // namespace vyn
