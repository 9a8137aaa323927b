#include "tool/ToolArgs.h"

#include <charconv>
#include <cmath>

namespace vyn::tool {

bool ToolArgs::option(const char* name, std::string& value) {
    if (!more() || args_[index_] != name) return false;
    if (index_ + 1 >= args_.size()) {
        failed_ = true;
        error_ = std::string(name) + " needs a value";
        return false;
    }
    value = args_[index_ + 1];
    index_ += 2;
    return true;
}

bool ToolArgs::option(const char* name, double& value, double min, double max) {
    std::string text;
    if (!option(name, text)) return false;
    double v = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v) || v < min ||
        v > max) {
        failed_ = true;
        error_ = std::string(name) + " needs a number from " + std::to_string(min) + " to " +
                 std::to_string(max);
        return false;
    }
    value = v;
    return true;
}

bool ToolArgs::option(const char* name, int& value, int min, int max) {
    std::string text;
    if (!option(name, text)) return false;
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < min || v > max) {
        failed_ = true;
        error_ = std::string(name) + " needs a whole number from " + std::to_string(min) + " to " +
                 std::to_string(max);
        return false;
    }
    value = v;
    return true;
}

bool ToolArgs::flag(const char* name, bool& value) {
    if (!more() || args_[index_] != name) return false;
    value = true;
    ++index_;
    return true;
}

} // namespace vyn::tool
