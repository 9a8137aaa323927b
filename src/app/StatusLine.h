#pragma once
// The main window's status line (toolbar text 1011): what the audio engine is doing, in one line.

#include <cstdint>
#include <string>

namespace vyn {

struct StatusLineInputs {
    bool audioRunning = false;
    std::string deviceName;
    double sampleRate = 0.0;
    int channels = 0;
    int deckPanels = 0;
    std::uint64_t loadedBytes = 0;
    bool quantise = false;
    bool linkRunning = false;
    int linkSurfaces = 0;
    bool resolumeSending = false;
    std::string lastError; // the device's last error, when audio is not running
};

std::string statusLineText(const StatusLineInputs& in);

} // namespace vyn
