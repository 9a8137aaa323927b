#pragma once
// The remote page (markup, style and script in one UTF-8 document), compiled into the executable
// from LinkPage.html at build time.

#include <string_view>

namespace vyn {

std::string_view linkPage();

} // namespace vyn
