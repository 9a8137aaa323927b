// Windows: the drive type of the volume holding a path (GetDriveTypeW), and the USB cache under
// the user's local application-data folder.

#include "library/DriveClassifier.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace vyn {
namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), n);
    return wide;
}

std::string narrow(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

class WindowsDriveClassifier final : public IDriveClassifier {
public:
    DriveKind classify(const std::string& path) const override {
        const std::wstring wide = widen(path);
        if (wide.empty()) return DriveKind::Fixed;
        wchar_t root[MAX_PATH + 1] = {};
        if (!GetVolumePathNameW(wide.c_str(), root, MAX_PATH)) return DriveKind::Fixed;
        switch (GetDriveTypeW(root)) {
        case DRIVE_REMOVABLE:
            return DriveKind::Removable;
        case DRIVE_CDROM:
            return DriveKind::CdRom;
        default:
            return DriveKind::Fixed;
        }
    }
};

} // namespace

std::unique_ptr<IDriveClassifier> makePlatformDriveClassifier() {
    return std::make_unique<WindowsDriveClassifier>();
}

std::string defaultUsbCacheFolder() {
    PWSTR folder = nullptr;
    std::string base;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)))
        base = narrow(folder);
    CoTaskMemFree(folder);
    if (base.empty()) return {};
    return base + "\\VYN\\usb-audio";
}

} // namespace vyn
