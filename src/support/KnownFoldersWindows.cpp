// Known folders on Windows: the shell's Documents and local application-data folders.

#include "support/KnownFolders.h"
#include "support/WideText.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace vyn {
namespace {

// VYN_USER_ROOT, when set, stands in for the user's profile folder: Documents and
// AppData\Local under it replace the shell's folders. It is what the XDG variables are on Linux:
// a way to run VYN (and its tests) against folders of one's choosing without touching the user's
// own, which the shell offers no per-process way to redirect.
std::string profileOverride(const wchar_t* sub) {
    const wchar_t* root = _wgetenv(L"VYN_USER_ROOT");
    if (!root || !*root) return std::string();
    return narrow(std::wstring(root) + L"\\" + sub);
}

std::string knownFolder(REFKNOWNFOLDERID id, const wchar_t* profileSub, const char* sub) {
    std::string base = profileOverride(profileSub);
    if (base.empty()) {
        PWSTR folder = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &folder))) base = narrow(folder);
        CoTaskMemFree(folder);
    }
    return base.empty() ? std::string() : base + "\\" + sub;
}

} // namespace

// Settings live in the registry; what would sit beside them on Linux (MIDI maps as files) goes to
// the local application data.
std::string configFolder() {
    return knownFolder(FOLDERID_LocalAppData, L"AppData\\Local", "VYN");
}

std::string documentsFolder() {
    return knownFolder(FOLDERID_Documents, L"Documents", "VYN");
}

std::string cacheFolder() {
    return knownFolder(FOLDERID_LocalAppData, L"AppData\\Local", "VYN");
}

std::string dataFolder() {
    return knownFolder(FOLDERID_LocalAppData, L"AppData\\Local", "VYN");
}

std::string executableFolder() {
    // Paths may exceed MAX_PATH: grow the buffer until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return std::string();
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string() : narrow(path.substr(0, slash));
}

} // namespace vyn
