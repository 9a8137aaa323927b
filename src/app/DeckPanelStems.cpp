#include "app/DeckPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vyn {
namespace {

constexpr const char* kStemNames[4] = {"DRUM", "BASS", "VOX", "OTHER"};

CommandType stemCommand(int stem) {
    return static_cast<CommandType>(static_cast<int>(CommandType::SET_STEM_DRUMS) + stem);
}

} // namespace

void DeckPanel::pressStem(int stem, const DeckSnapshot& s, CommandSink& sink) {
    if (stem < 0 || stem > 3) return;
    const float gain = s.stemGains[stem];
    if (gain > 0.0f) {
        stemRestore_[stem] = gain;
        post(sink, stemCommand(stem), 0.0);
    } else {
        post(sink, stemCommand(stem), stemRestore_[stem]);
    }
}

void DeckPanel::setStemGain(int stem, double gain, CommandSink& sink) {
    if (stem < 0 || stem > 3 || !std::isfinite(gain)) return;
    gain = std::clamp(gain, 0.0, 4.0);
    // A ride down to silence keeps 1.0 as the gain a click brings back.
    if (gain > 0.0) stemRestore_[stem] = static_cast<float>(gain);
    post(sink, stemCommand(stem), gain);
}

std::string DeckPanel::stemsLabel(const DeckSnapshot& s, const StemJobStatus& job) {
    if (job.running) {
        char buf[32];
        const float p = std::clamp(job.progress, 0.0f, 1.0f);
        std::snprintf(buf, sizeof buf, "STEMS %d %%", static_cast<int>(p * 100.0f));
        return buf;
    }
    return s.stemsOn ? "STEMS*" : "STEMS";
}

std::string DeckPanel::stemLabel(int stem, float gain) {
    if (stem < 0 || stem > 3) return std::string();
    if (gain == 0.0f || gain == 1.0f || !std::isfinite(gain)) return kStemNames[stem];
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s %.1f", kStemNames[stem], static_cast<double>(gain));
    return buf;
}

} // namespace vyn
