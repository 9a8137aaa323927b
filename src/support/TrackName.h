#pragma once
// The one rule for the name a track is shown by: in the library, on the deck panels and on Link
// surfaces.
//
// Threading: no shared state.

#include <string>
#include <string_view>

namespace vyn {

// "artist - title" when both are known; the title alone without an artist; without a title the
// file name with its extension (the part of the path after its last "/" or "\"), and
// "(untitled)" when that is empty too.
std::string trackDisplayName(std::string_view artist, std::string_view title,
                             std::string_view path);

} // namespace vyn
