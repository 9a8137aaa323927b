// Windows: the computer's name and the shell's browser.

#include "support/Desktop.h"
#include "support/WideText.h"

#include <windows.h>

#include <shellapi.h>

namespace vyn {

std::string hostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return {};
    return narrow(std::wstring_view(name, size));
}

bool openWebPage(const std::string& url) {
    if (url.rfind("https://", 0) != 0) return false;
    const std::wstring wide = widen(url);
    if (wide.empty()) return false;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

} // namespace vyn
