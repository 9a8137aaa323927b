#include "common/TestPaths.h"
#include "support/FileIo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace vyn::test {

namespace fs = std::filesystem;

std::string scratchDir(const std::string& name) {
    fs::path p =
        fs::path(VYN_BINARY_DIR) / "test-scratch" / (name + "-" + std::to_string(getpid()));
    std::error_code ec;
    fs::remove_all(p, ec);
    fs::create_directories(p);
    // Forward slashes: the same text serves the Windows API and the Linux shell under wine.
    return p.generic_string();
}

std::string artefactPath(const std::string& name) {
    const fs::path dir = fs::path(VYN_BINARY_DIR) / "test-artifacts";
    fs::create_directories(dir);
    return (dir / name).generic_string();
}

std::string builtExecutable(const std::string& name) {
    // The Windows build runs its executables under wine through launcher scripts.
    for (const char* sub : {"wine-launchers/", "src/app/", "src/tool/", ""}) {
        fs::path p = fs::path(VYN_BINARY_DIR) / (std::string(sub) + name);
        if (fs::exists(p)) return p.generic_string();
    }
    return (fs::path(VYN_BINARY_DIR) / name).generic_string();
}

std::string rekordboxFixtures() {
    fs::path p = fs::path(VYN_SOURCE_DIR).parent_path() / "shared" / "fixtures" / "rekordbox";
    if (const char* env = std::getenv("VYN_REKORDBOX_FIXTURES")) p = env;
    return fs::is_directory(p) ? p.string() : std::string();
}

std::string readText(const std::string& path) {
    return readWholeFile(path).data;
}

std::vector<std::string> filesIn(const std::string& folder, const std::string& extension) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= extension.size() &&
            name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

ProcessResult runProcess(const std::string& command, const std::string& input) {
    const std::string dir = scratchDir("proc");
    const std::string in = dir + "/in", out = dir + "/out", err = dir + "/err";
    std::ofstream(in, std::ios::binary) << input;
    const std::string full = "(" + command + ") <'" + in + "' >'" + out + "' 2>'" + err + "'";
    ProcessResult r;
    r.exitCode = runShell(full, dir);
    r.out = readText(out);
    r.err = readText(err);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return r;
}

ProcessResult runTool(const std::string& args) {
    return runProcess("'" + builtExecutable("vyn-tool") + "' " + args);
}

bool servicesAvailable() {
    for (const char* name : {"PULSE_SERVER", "JACK_DEFAULT_SERVER", "DISPLAY"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) return false;
    }
    return true;
}

bool serviceTestsMaySkip() {
    const char* skip = std::getenv("VYN_SKIP_SERVICE_TESTS");
    return skip && std::string(skip) == "1";
}

} // namespace vyn::test
