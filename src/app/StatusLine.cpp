#include "app/StatusLine.h"

#include <algorithm>
#include <cmath>

namespace vyn {

std::string statusLineText(const StatusLineInputs& in) {
    static const std::string kDot = "  \xC2\xB7  ";
    if (!in.audioRunning) {
        std::string s = "Audio output is unavailable";
        if (!in.lastError.empty()) s += " \xE2\x80\x94 " + in.lastError;
        return s;
    }
    std::string s = "VYN is routing audio" + kDot + in.deviceName + kDot;
    s += std::to_string(std::lround(in.sampleRate)) + " Hz" + kDot;
    s += std::to_string(in.channels) + " outputs" + kDot;
    if (in.channels < 8)
        s += "stereo master";
    else
        s += "decks 1\xE2\x80\x93" + std::to_string(std::min(in.deckPanels, in.channels / 2));
    s += kDot + std::to_string(in.loadedBytes >> 20) + " MB loaded";
    if (in.quantise) s += kDot + "QUANTISE";
    if (in.linkRunning) s += kDot + "Link (" + std::to_string(in.linkSurfaces) + ")";
    if (in.resolumeSending) s += kDot + "Resolume";
    return s;
}

} // namespace vyn
