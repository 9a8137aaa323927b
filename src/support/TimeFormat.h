#pragma once
// Local-time formatting of Unix milliseconds with strftime patterns ("%Y-%m-%d %H:%M").

#include <cstdint>
#include <string>

namespace vyn {

std::string formatLocalTime(std::int64_t unixMillis, const char* pattern);
// The wall clock as Unix milliseconds (set names and creation times).
std::int64_t nowUnixMillis();

} // namespace vyn
