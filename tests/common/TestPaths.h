#pragma once
// Where tests find the build's executables, a scratch folder, and the shared real-file fixtures.

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vyn::test {

// A fresh empty folder for this test case (under the build tree), removed at the next call
// for the same name.
std::string scratchDir(const std::string& name);
// Where a test keeps `name` (a screenshot, say) for people to look at after the run:
// test-artifacts of the build tree.
std::string artefactPath(const std::string& name);
// Path of an executable built by this project (e.g. "vyn", "vyn-tool").
std::string builtExecutable(const std::string& name);
// ../shared/fixtures/rekordbox beside the source tree, or empty when it is absent.
std::string rekordboxFixtures();

// `path` (UTF-8) with the platform's separators ("\\" on Windows): what the code's paths look like
// once it has composed or normalised them through std::filesystem.
inline std::string nativePath(const std::string& path) {
    const std::u8string out =
        std::filesystem::path(std::u8string(path.begin(), path.end())).make_preferred().u8string();
    return std::string(out.begin(), out.end());
}
// scratchDir() as the file system names it: absolute, with the drive on Windows, in native form.
inline std::string canonicalPath(const std::string& path) {
    std::error_code ec;
    const std::u8string out =
        std::filesystem::weakly_canonical(std::u8string(path.begin(), path.end()), ec).u8string();
    return ec ? nativePath(path) : std::string(out.begin(), out.end());
}

// The whole content of a file; empty when it cannot be read.
std::string readText(const std::string& path);
// The names of the files in `folder` ending in `extension` (all of them when it is empty), sorted;
// none when the folder is missing.
std::vector<std::string> filesIn(const std::string& folder, const std::string& extension = {});

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs `command` through /bin/sh with `input` on standard input; captures both output streams.
// The Windows build (under wine) runs the same Linux shell, so fixtures come from the same tools.
ProcessResult runProcess(const std::string& command, const std::string& input = {});
// Runs the built `vyn-tool ARGS` (ARGS quoted as the shell needs them).
ProcessResult runTool(const std::string& args);
// Runs `script` with /bin/sh and returns its exit status (-1 when it did not exit normally);
// `scratch` is a folder the call may use. One implementation per platform (ShellPosix.cpp,
// ShellWine.cpp).
int runShell(const std::string& script, const std::string& scratch);

// Sets or removes one variable of this process's environment (setenv or _putenv_s).
inline void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}
inline void unsetEnvironment(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

// Sets variables for as long as it lives and then puts back what was there before, also when an
// assertion ends the test early: a test never leaves its environment to the next one.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<std::pair<const char*, std::string>> values) {
        for (const auto& [name, value] : values) {
            const char* before = std::getenv(name);
            saved_.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
            setEnvironment(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->second ? setEnvironment(it->first.c_str(), *it->second)
                       : unsetEnvironment(it->first.c_str());
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// True when the test services (PulseAudio, JACK, Xvfb) were started for this run: their
// environment (scripts/test-services start, then source its env) is set.
bool servicesAvailable();
// True when VYN_SKIP_SERVICE_TESTS=1 asks to skip the tests that need the services.
bool serviceTestsMaySkip();

} // namespace vyn::test

// For the SetUp of every test on the services: without them the test fails with a clear message,
// unless skipping was asked for explicitly. A test that passes because a service did not start
// would prove nothing.
#define VYN_REQUIRE_TEST_SERVICES()                                                                \
    do {                                                                                           \
        if (!::vyn::test::servicesAvailable()) {                                                   \
            if (::vyn::test::serviceTestsMaySkip())                                                \
                GTEST_SKIP() << "test services are not running (VYN_SKIP_SERVICE_TESTS=1)";        \
            FAIL() << "the test services are not running: run the tests with scripts/run-tests, "  \
                      "or start them with scripts/test-services start and source its env file "    \
                      "(VYN_SKIP_SERVICE_TESTS=1 skips these tests instead)";                      \
        }                                                                                          \
    } while (false)
