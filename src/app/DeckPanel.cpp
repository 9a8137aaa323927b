#include "app/DeckPanel.h"

#include "dsp/Waveform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vyn {
namespace {

constexpr double kMaxZoomSeconds = 960.0;

const char* stateWord(std::uint8_t state) {
    switch (static_cast<DeckState>(state)) {
    case DeckState::READY:
        return "READY";
    case DeckState::PLAYING:
        return "PLAYING";
    case DeckState::PAUSED:
        return "PAUSED";
    default:
        return "EMPTY";
    }
}

bool playing(const DeckSnapshot& s) {
    return s.state == static_cast<std::uint8_t>(DeckState::PLAYING);
}

double zoomLimit(double trackSeconds) {
    return trackSeconds > 1.0 ? std::min(trackSeconds, kMaxZoomSeconds) : kMaxZoomSeconds;
}

} // namespace

bool DeckPanel::post(CommandSink& sink, CommandType type, double value) {
    return sink.post(Command(type, deck_, value));
}

void DeckPanel::press(int control, const DeckSnapshot& s, bool hasOutputPair, int beatJumpBeats,
                      CommandSink& sink) {
    using namespace deck_control;
    switch (control) {
    case PLAY:
        if (s.state == static_cast<std::uint8_t>(DeckState::EMPTY)) {
            message_ = "Load a track before starting this deck.";
        } else if (!hasOutputPair) {
            message_ = "This deck has no physical output pair.";
        } else {
            post(sink, playing(s) ? CommandType::PAUSE : CommandType::PLAY, 0.0);
        }
        return;
    case LOOP_IN:
        post(sink, CommandType::LOOP_IN, 0.0);
        return;
    case LOOP_OUT:
        post(sink, CommandType::LOOP_OUT, 0.0);
        return;
    case RELOOP:
        post(sink, CommandType::RELOOP_EXIT, 0.0);
        return;
    case LOOP_4:
        post(sink, CommandType::BEAT_LOOP, 4.0);
        return;
    case LOOP_8:
        post(sink, CommandType::BEAT_LOOP, 8.0);
        return;
    case JUMP_BACK_1:
        post(sink, CommandType::BEAT_JUMP, -1.0);
        return;
    case JUMP_FORWARD_1:
        post(sink, CommandType::BEAT_JUMP, 1.0);
        return;
    case JUMP_BACK_N:
        post(sink, CommandType::BEAT_JUMP, -static_cast<double>(beatJumpBeats));
        return;
    case JUMP_FORWARD_N:
        post(sink, CommandType::BEAT_JUMP, static_cast<double>(beatJumpBeats));
        return;
    case SLIP:
        post(sink, CommandType::SET_SLIP, s.slip ? 0.0 : 1.0);
        return;
    case KEY_DOWN:
        post(sink, CommandType::SET_KEY_SHIFT, std::max(s.keyShift - 1, -6));
        return;
    case KEY_RESET:
        post(sink, CommandType::SET_KEY_SHIFT, 0.0);
        return;
    case KEY_UP:
        post(sink, CommandType::SET_KEY_SHIFT, std::min(s.keyShift + 1, 6));
        return;
    case KEY_SYNC:
        post(sink, CommandType::KEY_SYNC, 0.0);
        return;
    case ADJUST_DOWN:
    case ADJUST_UP:
        // Only while a loop edge is being adjusted (the buttons are disabled otherwise).
        if (s.loopInAdjust || s.loopOutAdjust)
            post(sink, CommandType::LOOP_ADJUST, control == ADJUST_DOWN ? -0.5 : 0.5);
        return;
    case SYNC:
        post(sink, CommandType::SET_SYNC, s.sync ? 0.0 : 1.0);
        return;
    case MASTER:
        sink.post(Command(CommandType::SET_SYNC_MASTER, s.isMaster ? -1 : deck_, 0.0));
        return;
    case STEMS:
        post(sink, CommandType::SET_STEMS, s.stemsOn ? 0.0 : 1.0);
        return;
    case STEM_DRUMS:
    case STEM_BASS:
    case STEM_VOCALS:
    case STEM_OTHER:
        pressStem(control - STEM_DRUMS, s, sink);
        return;
    default:
        return;
    }
}

void DeckPanel::revDown(Clock::time_point now) {
    revPressed_ = true;
    heldReverse_ = false;
    revPressedAt_ = now;
}

void DeckPanel::revPoll(Clock::time_point now, CommandSink& sink) {
    if (!revPressed_ || heldReverse_ || now - revPressedAt_ < kHoldDelay) return;
    if (post(sink, CommandType::SET_SLIP_REVERSE, 1.0)) heldReverse_ = true;
}

void DeckPanel::revUp(const DeckSnapshot& s, CommandSink& sink) {
    if (!revPressed_) return;
    revPressed_ = false;
    if (heldReverse_) {
        heldReverse_ = false;
        post(sink, CommandType::SET_SLIP_REVERSE, 0.0);
        return;
    }
    post(sink, CommandType::SET_REVERSE, s.reverse ? 0.0 : 1.0);
}

void DeckPanel::revCancel(CommandSink& sink) {
    revPressed_ = false;
    if (!heldReverse_) return;
    heldReverse_ = false;
    post(sink, CommandType::SET_SLIP_REVERSE, 0.0);
}

double DeckPanel::rateForSlider(int position) {
    position = std::clamp(position, 0, kSliderMax);
    // Exact at both ends and in the middle, whatever the rounding of the steps between.
    if (position == 0) return 0.84;
    if (position == kSliderMax) return 1.16;
    return position / static_cast<double>(kSliderMax) * 0.32 + 0.84;
}

int DeckPanel::sliderForRate(double rate) {
    if (!std::isfinite(rate)) return kSliderMax / 2;
    const double p = (rate - 0.84) / 0.32 * kSliderMax;
    return std::clamp(static_cast<int>(std::lround(p)), 0, kSliderMax);
}

void DeckPanel::moveTempoSlider(int position, CommandSink& sink) {
    post(sink, CommandType::SET_RATE, rateForSlider(position));
}

double DeckPanel::zoomedOut(double span, double trackSeconds) {
    return std::clamp(span * 2.0, 1.0, zoomLimit(trackSeconds));
}

double DeckPanel::zoomedIn(double span, double trackSeconds) {
    return std::clamp(span / 2.0, 1.0, zoomLimit(trackSeconds));
}

double DeckPanel::trackSeconds(const DeckSnapshot& s, double trackRate, const Waveform* waveform) {
    if (s.length > 0 && trackRate > 0.0) return static_cast<double>(s.length) / trackRate;
    if (waveform && waveform->columnsPerSecond > 0.0)
        return static_cast<double>(waveform->columns.size()) / waveform->columnsPerSecond;
    return 0.0;
}

std::string DeckPanel::timeLabel(double t) {
    char buf[32];
    const long n = static_cast<long>(t + 0.5);
    if (t < 60.0) {
        std::snprintf(buf, sizeof buf, "%lds", n);
        return buf;
    }
    const long m = n / 60;
    if (n == m * 60)
        std::snprintf(buf, sizeof buf, "%ldm", m);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", m, n - m * 60);
    return buf;
}

LevelLabel DeckPanel::levelLabel(const DeckSnapshot& s) {
    float peak = std::max(s.peakLeft, s.peakRight);
    if (!(peak >= 0.0f)) peak = 0.0f; // NaN reads as silence
    peak = std::min(peak, 1.0f);
    const int percent = static_cast<int>(std::floor(peak * 100.0f + 1e-3f));
    LevelLabel l;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d%%", percent);
    l.text = buf;
    l.colour = percent >= 99   ? LevelColour::Red
               : percent >= 90 ? LevelColour::Orange
                               : LevelColour::Grey;
    return l;
}

PanelTexts DeckPanel::texts(int deck, const DeckSnapshot& s, const std::string& trackName,
                            bool hasOutputPair) {
    PanelTexts t;
    char buf[48];
    std::snprintf(buf, sizeof buf, "DECK %d", deck + 1);
    t.title = buf;
    const bool empty = s.state == static_cast<std::uint8_t>(DeckState::EMPTY);
    t.track = empty || trackName.empty() ? "EMPTY" : trackName;
    t.status = stateWord(s.state);
    if (s.bpm > 0.0f && std::isfinite(s.bpm)) {
        std::snprintf(buf, sizeof buf, "%.1f BPM", static_cast<double>(s.bpm));
        t.tempo = buf;
    } else {
        t.tempo = "\xE2\x80\x94 BPM";
    }
    if (s.isMaster) t.badges.emplace_back("MASTER");
    if (s.sync) t.badges.emplace_back("SYNC");
    if (s.loopInAdjust)
        t.badges.emplace_back("IN ADJ");
    else if (s.loopOutAdjust)
        t.badges.emplace_back("OUT ADJ");
    else if (s.looping)
        t.badges.emplace_back("LOOP");
    if (s.slip) t.badges.emplace_back("SLIP");
    if (s.slipReverse)
        t.badges.emplace_back("S / R");
    else if (s.reverse)
        t.badges.emplace_back("REV");
    if (s.keyShift != 0) {
        std::snprintf(buf, sizeof buf, s.keyShift > 0 ? "KEY +%d" : "KEY %d", s.keyShift);
        t.badges.emplace_back(buf);
    }
    if (s.keySync) t.badges.emplace_back("KEY SYNC");
    if (!hasOutputPair) t.badges.emplace_back("NO OUTPUT");
    return t;
}

const char* DeckPanel::label(int control, const DeckSnapshot& s, bool swapMarked,
                             bool slipReverseHeld) {
    using namespace deck_control;
    switch (control) {
    case PLAY:
        return playing(s) ? "Pause" : "Play";
    case LOAD:
        return "Load";
    case LOOP_IN:
        return s.loopInAdjust ? "IN*" : "IN";
    case LOOP_OUT:
        return s.loopOutAdjust ? "OUT*" : "OUT";
    case RELOOP:
        return "RELOOP";
    case LOOP_4:
        return "4";
    case LOOP_8:
        return "8";
    case JUMP_BACK_1:
        return "<1";
    case JUMP_FORWARD_1:
        return "1>";
    case JUMP_BACK_N:
        return "<16";
    case JUMP_FORWARD_N:
        return "16>";
    case SLIP:
        return "SLIP";
    case REV:
        return slipReverseHeld || s.slipReverse ? "S / R" : "REV";
    case KEY_DOWN:
        return "KEY\xE2\x88\x92";
    case KEY_RESET:
        return "KEY 0";
    case KEY_UP:
        return "KEY+";
    case KEY_SYNC:
        return "K.SYNC";
    case ZOOM_OUT:
    case ADJUST_DOWN:
        return "\xE2\x88\x92";
    case ZOOM_IN:
    case ADJUST_UP:
        return "+";
    case SYNC:
        return s.sync ? "SYNC*" : "SYNC";
    case MASTER:
        return s.isMaster ? "MST*" : "MST";
    case SWAP:
        return swapMarked ? "SWAP*" : "SWAP";
    default:
        return "";
    }
}

} // namespace vyn
