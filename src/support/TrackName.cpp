#include "support/TrackName.h"

namespace vyn {

std::string trackDisplayName(std::string_view artist, std::string_view title,
                             std::string_view path) {
    if (!title.empty()) {
        if (artist.empty()) return std::string(title);
        std::string name(artist);
        name += " - ";
        name += title;
        return name;
    }
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return file.empty() ? std::string("(untitled)") : std::string(file);
}

} // namespace vyn
