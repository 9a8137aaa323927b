#include "support/SettingsStore.h"

#include <charconv>
#include <string>

namespace vyn {

int SettingsStore::integer(std::string_view key, int fallback) const {
    const std::optional<std::string> value = text(key);
    if (!value) return fallback;
    std::string_view s = *value;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    int out = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return fallback;
    return out;
}

bool SettingsStore::storableKey(std::string_view key) {
    if (key.empty() || key.front() == ' ' || key.front() == '\t' || key.back() == ' ' ||
        key.back() == '\t')
        return false;
    for (char c : key)
        if (c == '=' || c == '\n' || c == '\r' || c == '\0' || c == '#' || c == ';' || c == '[')
            return false;
    return true;
}

bool SettingsStore::storableValue(std::string_view value) {
    for (char c : value)
        if (c == '\n' || c == '\r' || c == '\0') return false;
    return true;
}

bool SettingsStore::setInteger(std::string_view key, int value) {
    return setText(key, std::to_string(value));
}

} // namespace vyn
