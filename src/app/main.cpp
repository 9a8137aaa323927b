#include "app/CommandLine.h"
#include "app/CommandLineHost.h"

#include <cstdio>

int main(int argc, char** argv) {
    const vyn::CommandLine cl = vyn::parseCommandLine(argc, argv);
    switch (cl.outcome) {
    case vyn::CommandLine::Outcome::Help:
        std::fputs(vyn::usageText(argv[0]).c_str(), stderr);
        return 0;
    case vyn::CommandLine::Outcome::Usage:
        std::fputs(vyn::usageText(argv[0]).c_str(), stderr);
        return 2;
    case vyn::CommandLine::Outcome::Window:
        std::fputs("VYN has no window yet in this build; use --file PATH or --probe\n", stderr);
        return 1;
    case vyn::CommandLine::Outcome::Host:
        return vyn::runCommandLineHost(cl.path, cl.deck, cl.probe);
    }
    return 1;
}
