#pragma once
// One deck panel's logic, without drawing: what each control does to its deck, the labels and
// texts it shows from the published deck state, the REV press-and-hold, the tempo slider, the
// waveform zoom and the level label. The window draws a panel from this and turns clicks into
// these calls; tests call the same functions.
//
// Threading: user-interface thread only.

#include "app/CommandSink.h"
#include "engine/EngineSnapshot.h"
#include "engine/TrackLoader.h"

#include <chrono>
#include <string>
#include <vector>

namespace vyn {

struct Waveform;

// Control numbers inside a panel; the window identifier is 4000 + 48 x panel + control.
namespace deck_control {
inline constexpr int PLAY = 0;
inline constexpr int LOAD = 1;
inline constexpr int LOOP_IN = 2;
inline constexpr int LOOP_OUT = 3;
inline constexpr int RELOOP = 4;
inline constexpr int LOOP_4 = 5;
inline constexpr int LOOP_8 = 6;
inline constexpr int JUMP_BACK_1 = 7;
inline constexpr int JUMP_FORWARD_1 = 8;
inline constexpr int JUMP_BACK_N = 9;
inline constexpr int JUMP_FORWARD_N = 10;
inline constexpr int SLIP = 11;
inline constexpr int REV = 12;
inline constexpr int KEY_DOWN = 13;
inline constexpr int KEY_RESET = 14;
inline constexpr int KEY_UP = 15;
inline constexpr int KEY_SYNC = 16;
inline constexpr int ZOOM_OUT = 17;
inline constexpr int ZOOM_IN = 18;
inline constexpr int TEMPO = 19;
inline constexpr int WAVEFORM = 21;
inline constexpr int ADJUST_DOWN = 22;
inline constexpr int ADJUST_UP = 23;
inline constexpr int SYNC = 25;
inline constexpr int MASTER = 26;
inline constexpr int SWAP = 27;
inline constexpr int OVERVIEW = 28; // the whole-track overview (click to seek)
// Texts a user reads, in the UI map.
inline constexpr int TITLE_TEXT = 30;
inline constexpr int TRACK_TEXT = 31;
inline constexpr int STATUS_TEXT = 32;
inline constexpr int TEMPO_TEXT = 33;
inline constexpr int BADGES_TEXT = 34;
inline constexpr int MESSAGE_TEXT = 35;
inline constexpr int LEVEL_TEXT = 36;
// Stems: STEMS switches stem mixing on and off (and so asks for a split); the four stems below it
// kill and restore on a click and take a gain 0..4 from a drag or the wheel.
inline constexpr int STEMS = 37;
inline constexpr int STEM_DRUMS = 38;
inline constexpr int STEM_BASS = 39;
inline constexpr int STEM_VOCALS = 40;
inline constexpr int STEM_OTHER = 41;
} // namespace deck_control

inline constexpr int kPanelCount = 8;

constexpr int deckControlId(int panel, int control) {
    return 4000 + 48 * panel + control;
}

enum class LevelColour { Grey, Orange, Red };

struct LevelLabel {
    std::string text; // "73%"
    LevelColour colour = LevelColour::Grey;
};

// Everything a panel's text refresh shows (at most every 100 ms).
struct PanelTexts {
    std::string title;  // "DECK 3"
    std::string track;  // the track's name or "EMPTY"
    std::string status; // "EMPTY", "READY", "PLAYING", "PAUSED"
    std::string tempo;  // "124.0 BPM" or "— BPM"
    std::vector<std::string> badges;

    bool operator==(const PanelTexts&) const = default;
};

class DeckPanel {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kHoldDelay = std::chrono::milliseconds(200);
    static constexpr int kSliderMax = 320;
    static constexpr double kDefaultZoomSeconds = 8.0;

    explicit DeckPanel(int deck = 0) : deck_(deck) {}

    int deck() const { return deck_; }

    // A button press (any control but LOAD, REV, the slider, the views, zoom and SWAP, which have
    // their own calls). `hasOutputPair` is false when the device has a pair per deck and this deck
    // has none; `beatJumpBeats` is the engine's beat-jump size.
    void press(int control, const DeckSnapshot& state, bool hasOutputPair, int beatJumpBeats,
               CommandSink& sink);

    // REV: pressed, then polled every refresh while held, then released. A release before the
    // hold delay toggles reverse; a longer hold runs slip reverse only while held.
    void revDown(Clock::time_point now);
    void revPoll(Clock::time_point now, CommandSink& sink);
    void revUp(const DeckSnapshot& state, CommandSink& sink);
    // Focus or capture lost, or the window closing: a held slip reverse ends, a pending click is
    // dropped.
    void revCancel(CommandSink& sink);
    bool revPressed() const { return revPressed_; }
    bool slipReverseHeld() const { return heldReverse_; }

    // Tempo slider 0..320 <-> rate 0.84..1.16.
    static double rateForSlider(int position);
    static int sliderForRate(double rate);
    void moveTempoSlider(int position, CommandSink& sink);

    // Waveform zoom: seconds shown, 1 s up to the track's length (itself capped at 960 s).
    double zoomSeconds() const { return zoom_; }
    void zoomOut(double trackSeconds) { zoom_ = zoomedOut(zoom_, trackSeconds); }
    void zoomIn(double trackSeconds) { zoom_ = zoomedIn(zoom_, trackSeconds); }
    static double zoomedOut(double span, double trackSeconds);
    static double zoomedIn(double span, double trackSeconds);
    // The track's length in seconds from the published length and the track's rate, else from
    // the waveform; 0 when neither tells.
    static double trackSeconds(const DeckSnapshot& state, double trackRate,
                               const Waveform* waveform);
    // "12s", "60s", "1m", "1:01".
    static std::string timeLabel(double seconds);

    static LevelLabel levelLabel(const DeckSnapshot& state);
    static PanelTexts texts(int deck, const DeckSnapshot& state, const std::string& trackName,
                            bool hasOutputPair);
    // The label of a button with a starred or alternate form ("SYNC*", "Pause", "S / R").
    static const char* label(int control, const DeckSnapshot& state, bool swapMarked,
                             bool slipReverseHeld);

    // The stem controls (DeckPanelStems.cpp). A click on a stem kills it, or brings back the
    // gain it had before the kill; a drag or the wheel sets its gain, clamped 0..4.
    void pressStem(int stem, const DeckSnapshot& state, CommandSink& sink);
    void setStemGain(int stem, double gain, CommandSink& sink);
    // "STEMS", "STEMS*" while stem mixing is on, "STEMS 43 %" while the deck's split runs.
    static std::string stemsLabel(const DeckSnapshot& state, const StemJobStatus& job);
    // "DRUM", "BASS", "VOX", "OTHER", with the gain when it is neither 0 nor 1 ("VOX 2.5").
    static std::string stemLabel(int stem, float gain);

    const std::string& message() const { return message_; }
    void setMessage(std::string message) { message_ = std::move(message); }

private:
    bool post(CommandSink& sink, CommandType type, double value);

    int deck_;
    std::string message_;
    double zoom_ = kDefaultZoomSeconds;
    bool revPressed_ = false;
    bool heldReverse_ = false;
    float stemRestore_[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    Clock::time_point revPressedAt_{};
};

} // namespace vyn
