#include "app/CommandLine.h"

#include "audio/AudioDeviceFactory.h"

#include <cstdlib>
#include <cstring>

namespace vyn {

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine c;
    bool gui = argc <= 1;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--file") == 0 && i + 1 < argc) {
            c.path = argv[++i];
            gui = false;
        } else if (std::strcmp(a, "--deck") == 0 && i + 1 < argc) {
            c.deck = std::atoi(argv[++i]) - 1;
        } else if (std::strcmp(a, "--probe") == 0) {
            c.probe = true;
            gui = false;
        } else if (std::strcmp(a, "--gui") == 0) {
            gui = true;
        } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            c.outcome = CommandLine::Outcome::Help;
            return c;
        } else {
            c.outcome = CommandLine::Outcome::Usage;
            return c;
        }
    }
    if (gui) {
        c.outcome = CommandLine::Outcome::Window;
        return c;
    }
    const bool hasPath = !c.path.empty();
    if (hasPath == c.probe || static_cast<unsigned>(c.deck) >= 16u) {
        c.outcome = CommandLine::Outcome::Usage;
        return c;
    }
    c.outcome = CommandLine::Outcome::Host;
    return c;
}

std::string usageText(const char* programName) {
    std::string s = "usage: ";
    s += programName ? programName : "vyn";
    s += " [--file PATH [--deck 1-16] | --probe | --gui]\n\n";
    s += hostSentence();
    s += " --file loads PATH and plays it.\n"
         "Stereo devices and four-channel DDJs receive the master; eight\n"
         "or more outputs receive deck pairs 1/2, 3/4, ... . --probe\n"
         "prints the selected device.\n"
         "No arguments (or --gui) opens the native window. Ctrl-C stops the\n"
         "command-line host.\n";
    return s;
}

} // namespace vyn
