#include "support/TimeFormat.h"

#include <chrono>
#include <ctime>

namespace vyn {

std::string formatLocalTime(std::int64_t unixMillis, const char* pattern) {
    const std::time_t seconds = static_cast<std::time_t>(unixMillis / 1000);
    std::tm parts{};
#ifdef _WIN32
    if (localtime_s(&parts, &seconds) != 0) return {};
#else
    if (!localtime_r(&seconds, &parts)) return {};
#endif
    char buf[128];
    const std::size_t n = std::strftime(buf, sizeof buf, pattern, &parts);
    return std::string(buf, n);
}

std::int64_t nowUnixMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace vyn
