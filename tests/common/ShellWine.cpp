// Under wine a Windows process can start a Linux program (wine hands a file that is not a
// Windows executable to the system), but gets no handle to wait on or read an exit code from. So
// the shell writes its exit status to a file, moved into place when complete, and this side
// waits for that file.

#include "common/TestPaths.h"

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace vyn::test {

int runShell(const std::string& script, const std::string& scratch) {
    namespace fs = std::filesystem;
    const std::string file = scratch + "/script.sh";
    const std::string status = scratch + "/status";
    std::ofstream(file, std::ios::binary) << script << "\necho $? > '" << status << ".part' && mv '"
                                          << status << ".part' '" << status << "'\n";
    std::wstring command = L"/bin/sh " + fs::path(file).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return -1;
    if (info.hProcess) CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (!fs::exists(status)) {
        if (std::chrono::steady_clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    int code = -1;
    std::ifstream(status) >> code;
    return code;
}

} // namespace vyn::test
