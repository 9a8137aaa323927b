#pragma once
// UTF-8 helpers shared by every module that takes text from files, devices or the network.

#include <cstdint>
#include <string>
#include <string_view>

namespace vyn::utf8 {

// True when `text` is well-formed UTF-8 (no overlongs, surrogates or code points above U+10FFFF).
bool isValid(std::string_view text);

// Returns `text` with every ill-formed byte sequence replaced by U+FFFD.
std::string sanitize(std::string_view text);

// Appends the UTF-8 form of `codePoint`; surrogates and values above U+10FFFF become U+FFFD.
void append(std::string& out, std::uint32_t codePoint);

// The longest prefix of `text` of at most `maxBytes` bytes that does not split a code point.
std::string_view truncate(std::string_view text, std::size_t maxBytes);

// Checks UTF-8 that arrives in pieces, where a code point may be split between two pieces. It
// fails at the first byte that no well-formed text could continue with, so a stream can be
// refused before it ends.
class StreamValidator {
public:
    // False once the bytes so far cannot begin well-formed UTF-8 (and from then on).
    bool feed(std::string_view bytes);
    // True when everything fed is well-formed and no code point is left unfinished.
    bool complete() const { return ok_ && pending_ == 0; }
    void reset() { *this = StreamValidator{}; }

private:
    bool ok_ = true;
    std::uint8_t pending_ = 0; // continuation bytes still expected
    std::uint8_t low_ = 0x80;  // the range the next continuation byte must lie in
    std::uint8_t high_ = 0xBF;
};

} // namespace vyn::utf8
