#include "library/DriveClassifierLinux.h"

#include "support/FileIo.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace vyn {
namespace {

namespace fs = std::filesystem;

// Mount table fields escape space, tab, newline and backslash as \ooo.
std::string unescapeField(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    const auto octal = [&](std::size_t k) { return s[k] >= '0' && s[k] <= '7'; };
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) |
                                     (s[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += s[i];
    }
    return out;
}

struct MountEntry {
    std::string majorMinor;
    std::string mountPoint;
    std::string source;
};

// "id parent major:minor root mount-point options [optional...] - type source super-options"
bool parseMountLine(std::string_view line, MountEntry& out) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        if (end > start) fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    if (fields.size() < 5) return false;
    out.majorMinor = std::string(fields[2]);
    out.mountPoint = unescapeField(fields[4]);
    out.source.clear();
    for (std::size_t i = 5; i + 2 < fields.size(); ++i)
        if (fields[i] == "-") {
            out.source = unescapeField(fields[i + 2]);
            break;
        }
    return !out.mountPoint.empty() && out.mountPoint.front() == '/';
}

bool isUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/") return true;
    if (path.compare(0, mountPoint.size(), mountPoint) != 0) return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::string firstLine(const fs::path& path) {
    const FileReadResult f = readWholeFile(path.string(), 4096);
    if (!f.ok) return {};
    return f.data.substr(0, f.data.find_first_of("\r\n"));
}

} // namespace

LinuxDriveClassifier::LinuxDriveClassifier(std::string mountInfoPath, std::string sysRoot)
    : mountInfoPath_(std::move(mountInfoPath)), sysRoot_(std::move(sysRoot)) {}

DriveKind LinuxDriveClassifier::classify(const std::string& path) const {
    if (path.empty()) return DriveKind::Fixed;
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (ec) return DriveKind::Fixed;
    fs::path resolved = fs::weakly_canonical(absolute, ec);
    if (ec) resolved = absolute.lexically_normal();
    const std::string where = resolved.string();

    const FileReadResult table = readWholeFile(mountInfoPath_, 16u << 20);
    if (!table.ok) return DriveKind::Fixed;
    MountEntry best, entry;
    bool found = false;
    std::size_t start = 0;
    const std::string_view text = table.data;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        // A later mount on the same point covers the earlier one, hence ">=".
        if (parseMountLine(text.substr(start, end - start), entry) &&
            isUnder(where, entry.mountPoint) &&
            (!found || entry.mountPoint.size() >= best.mountPoint.size())) {
            best = entry;
            found = true;
        }
        start = end + 1;
    }
    if (!found) return DriveKind::Fixed;
    const DriveKind device = classifyDevice(best.majorMinor, best.source);
    if (device != DriveKind::Fixed) return device;
    // Desktop automounters put sticks there, also for devices without a removable flag.
    if (startsWith(best.mountPoint, "/media/") || startsWith(best.mountPoint, "/run/media/"))
        return DriveKind::Removable;
    return DriveKind::Fixed;
}

DriveKind LinuxDriveClassifier::classifyDevice(const std::string& majorMinor,
                                               const std::string& source) const {
    const fs::path sys(sysRoot_);
    std::error_code ec;
    fs::path device = fs::canonical(sys / "dev" / "block" / majorMinor, ec);
    if (ec && startsWith(source, "/dev/"))
        device = fs::canonical(sys / "class" / "block" / fs::path(source).filename(), ec);
    if (ec || device.empty()) return DriveKind::Fixed;
    // A partition's flags live on its disk, the folder above it.
    if (fs::exists(device / "partition", ec)) device = device.parent_path();
    const std::string disk = device.filename().string();
    if (startsWith(disk, "sr")) return DriveKind::CdRom;
    std::string removable = firstLine(sys / "block" / disk / "removable");
    if (removable.empty()) removable = firstLine(device / "removable");
    return removable == "1" ? DriveKind::Removable : DriveKind::Fixed;
}

std::unique_ptr<IDriveClassifier> makePlatformDriveClassifier() {
    return std::make_unique<LinuxDriveClassifier>();
}

std::string defaultUsbCacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.cache";
    } else {
        return {};
    }
    return base + "/vyn/usb-audio";
}

} // namespace vyn
