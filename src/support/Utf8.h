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

} // namespace vyn::utf8
