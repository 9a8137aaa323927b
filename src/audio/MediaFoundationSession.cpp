#include "audio/MediaFoundationSession.h"
#include "support/WideText.h"

#include <mfapi.h>

#include <mutex>

namespace vyn::media_foundation {

bool startMediaFoundation() {
    constexpr ULONG kMfVersion = 0x20070;
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] { started = SUCCEEDED(MFStartup(kMfVersion, MFSTARTUP_LITE)); });
    return started;
}

std::wstring fullWidePath(const std::string& utf8) {
    const std::wstring wide = widen(utf8);
    if (wide.empty()) return {};
    const DWORD full = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (full == 0) return wide;
    std::wstring absolute(full, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), full, absolute.data(), nullptr);
    if (written == 0 || written >= full) return wide;
    absolute.resize(written);
    return absolute;
}

} // namespace vyn::media_foundation
