#pragma once
// A fuzz target's body is written once and runs two ways: under libFuzzer in the clang tree of
// `make fuzz`, where a broken rule aborts with its description, and in the replay test of the
// normal suite over the committed corpus and every input that once broke a target, where a broken
// rule fails the test. Each target checks what must hold for any input, not only "no crash".
//
//     VYN_FUZZ_TARGET(midi) {
//         ...
//         vyn::fuzz::require(message.data1 < 128, "data bytes stay below 128");
//     }

#include <cstddef>
#include <cstdint>

namespace vyn::fuzz {

using Body = void (*)(const std::uint8_t* data, std::size_t size);

// Reports a broken rule: aborts under libFuzzer, fails the running replay test otherwise.
void require(bool holds, const char* rule);

#ifndef VYN_LIBFUZZER
bool registerTarget(const char* name, Body body);
#endif

} // namespace vyn::fuzz

#ifdef VYN_LIBFUZZER
#define VYN_FUZZ_TARGET(name)                                                                      \
    static void vynFuzzBody(const std::uint8_t* data, std::size_t size);                           \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {            \
        vynFuzzBody(data, size);                                                                   \
        return 0;                                                                                  \
    }                                                                                              \
    static void vynFuzzBody(const std::uint8_t* data, std::size_t size)
#else
#define VYN_FUZZ_TARGET(name)                                                                      \
    static void vynFuzzBody(const std::uint8_t* data, std::size_t size);                           \
    [[maybe_unused]] static const bool vynFuzzRegistered =                                         \
        ::vyn::fuzz::registerTarget(#name, vynFuzzBody);                                           \
    static void vynFuzzBody(const std::uint8_t* data, std::size_t size)
#endif
