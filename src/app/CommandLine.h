#pragma once
// The process's command line: `--file PATH [--deck 1-16] | --probe | --gui`, `--help`.

#include <string>

namespace vyn {

struct CommandLine {
    enum class Outcome { Window, Host, Help, Usage };
    Outcome outcome = Outcome::Window;
    std::string path;
    int deck = 0; // zero-based
    bool probe = false;
};

// Later options override earlier ones; the last of --file/--probe/--gui picks window or host.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The usage text, with `programName` after "usage: ".
std::string usageText(const char* programName);

} // namespace vyn
