#pragma once
// UTF-8 to and from the UTF-16 text of the Windows API (Windows builds only,
// WideTextWindows.cpp).
//
// Threading: any thread.

#include <string>
#include <string_view>

namespace vyn {

// Empty for empty or ill-formed UTF-8.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

} // namespace vyn
