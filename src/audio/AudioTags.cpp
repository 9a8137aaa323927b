#include "audio/AudioTags.h"

#include <charconv>
#include <cmath>

namespace vyn {

double parseTagBpm(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    double value = 0.0;
    const char* begin = text.data() + i;
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    if (ec != std::errc() || end == begin) return 0.0;
    return std::isfinite(value) && value >= 1.0 && value <= 999.0 ? value : 0.0;
}

std::int32_t parseTagYear(const std::string& text) {
    std::int32_t year = 0;
    std::size_t digits = 0;
    while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9') {
        year = year * 10 + (text[digits] - '0');
        ++digits;
    }
    const bool endsThere = digits == text.size() || text[digits] < '0' || text[digits] > '9';
    return digits == 4 && endsThere && year > 0 ? year : 0;
}

} // namespace vyn
