#pragma once
// Where tests find the build's executables, a scratch folder, and the shared real-file fixtures.

#include <string>

namespace vyn::test {

// A fresh empty folder for this test case (under the build tree), removed at the next call
// for the same name.
std::string scratchDir(const std::string& name);
// Path of an executable built by this project (e.g. "vyn", "vyn-tool").
std::string builtExecutable(const std::string& name);
// ../shared/fixtures/rekordbox beside the source tree, or empty when it is absent.
std::string rekordboxFixtures();

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs `command` through /bin/sh with `input` on standard input; captures both output streams.
ProcessResult runProcess(const std::string& command, const std::string& input = {});

// True when the test services (PulseAudio, JACK) were started for this run.
bool servicesAvailable();

} // namespace vyn::test
