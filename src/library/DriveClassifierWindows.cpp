// Windows: the drive type of the volume holding a path (GetDriveTypeW), and the USB cache under
// the user's local application-data folder.

#include "library/DriveClassifier.h"
#include "support/WideText.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace vyn {
namespace {
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
