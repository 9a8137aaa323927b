#pragma once
// The headless host: opens the output device, loads one file onto one deck and plays it until
// interrupted; or, with probe, only opens the device and prints what it got. All output goes to
// standard error, prefixed "VYN ".

#include "library/DriveClassifier.h"

#include <memory>
#include <optional>
#include <string>

namespace vyn {

// Returns the process exit code (0 once play was queued, else 1). A file on a removable drive
// (as `drives` tells; the platform's classifier by default) is staged in the USB track cache
// before it is decoded. Runs until SIGINT or SIGTERM, whose handlers it installs.
int runCommandLineHost(const std::string& path, int deck, bool probe);
int runCommandLineHost(const std::string& path, int deck, bool probe,
                       std::unique_ptr<IDriveClassifier> drives);

// Everything the command line asks for short of the window: --help, a usage error (exit 2) and
// the headless host. Returns the exit code, or nothing when the window is wanted.
struct CommandLine;
std::optional<int> runUnlessWindow(const CommandLine& commandLine, const char* programName);

// "JACK (system): 48000 Hz, 2 output channels, 256 frames, latency 512 frames\n"
struct DeviceFormat;
std::string deviceLine(const DeviceFormat& format, long long latencyFrames);

} // namespace vyn
