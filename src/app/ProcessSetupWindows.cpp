#include "app/ProcessSetup.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace vyn {
namespace {

std::string toUtf8(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

} // namespace

ProcessSetup::ProcessSetup(int argc, char** argv) {
    // The C runtime buffers standard error when it is a file or a pipe: the host's lines must
    // appear as they happen. Text mode would turn every "\n" into "\r\n"; the tools' output
    // formats are the same bytes on every platform.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comJoined_ = SUCCEEDED(hr);
    ok_ = comJoined_ || hr == RPC_E_CHANGED_MODE;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments_.push_back(toUtf8(wide[i]));
        LocalFree(wide);
    } else {
        for (int i = 0; i < argc; ++i)
            arguments_.emplace_back(argv[i] ? argv[i] : "");
    }
    for (std::string& a : arguments_)
        pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
}

ProcessSetup::~ProcessSetup() {
    if (comJoined_) CoUninitialize();
}

} // namespace vyn
