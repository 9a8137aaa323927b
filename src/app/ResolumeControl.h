#pragma once
// The Resolume window's state and actions: the OSC destination and options kept in the settings
// (resolumeHost, resolumePort, resolumeCueMap, resolumeResyncBar, resolumePause, resolumeMidiOn,
// resolumeMidiOut, resolumeOn), Start and Stop of the OSC output and the MIDI clock, the start at
// launch, the status line, and the per-refresh tick that feeds both outputs from the snapshot.
//
// Threading: user-interface thread only.

#include "control/midi/MidiClockOutput.h"
#include "control/osc/OscSender.h"
#include "control/osc/ResolumeOutput.h"

#include <memory>
#include <string>
#include <vector>

namespace vyn {

class EngineHost;
class IMidiBackend;
class SettingsStore;
struct EngineSnapshot;

namespace resolume_settings {
inline constexpr const char* kHost = "resolumeHost";
inline constexpr const char* kPort = "resolumePort";
inline constexpr const char* kCueMap = "resolumeCueMap";
inline constexpr const char* kResyncBar = "resolumeResyncBar";
inline constexpr const char* kPause = "resolumePause";
inline constexpr const char* kMidiOn = "resolumeMidiOn";
inline constexpr const char* kMidiOut = "resolumeMidiOut";
inline constexpr const char* kOn = "resolumeOn";
} // namespace resolume_settings

class ResolumeControl {
public:
    static constexpr const char* kTitle = "Resolume";
    static constexpr const char* kExplanation =
        "Sends OSC to Resolume Arena/Avenue so visuals follow this set. In Resolume: Preferences "
        "\xE2\x86\x92 OSC \xE2\x86\x92 enable input (default port 7000). Tempo and resync keep "
        "BPM-synced clips on the grid. Hot cues fire columns (or per-deck clips). Dashboard dials "
        "1\xE2\x80\x93"
        "8 carry bar phase, beat, master peak, playhead and the first four filters.";
    static constexpr const char* kDefaultHost = "127.0.0.1";
    static constexpr int kDefaultPort = 7000;

    explicit ResolumeControl(SettingsStore& store);
    // The backend that lists and opens the clock's outputs; null while MIDI is not available.
    void setMidiBackend(IMidiBackend* midi);

    // --- the form (edited by the window, saved on Start and Stop) ---
    std::string host;
    std::string port;
    int cueMap = 0; // 0 columns, 1 clips
    bool resyncEveryBar = false;
    bool pauseWhenStopped = false;
    bool sendMidiClock = false;
    std::string midiOutput; // the chosen output's name
    const std::vector<std::string>& midiOutputs() const { return outputs_; }
    void refreshOutputs();

    // --- actions ---
    void startOrStop(bool audioRunning);
    void start(bool audioRunning);
    void stop();
    // The program closes: both outputs stop (the clock with its stop byte) and the settings keep
    // resolumeOn, so that the next launch starts them again.
    void close();
    // At launch: starts again when it was running when last saved (resolumeOn 1).
    void startAtLaunch(bool audioRunning);
    // Every refresh pass while audio runs: the OSC tick (draining the engine's applied
    // commands) and the clock's tempo.
    void tick(const EngineSnapshot& snapshot, EngineHost& engine);

    // --- what the window shows ---
    bool oscOn() const { return sender_.isOpen(); }
    bool clockOn() const { return clock_ && clock_->isOpen(); }
    const char* buttonLabel() const { return oscOn() || clockOn() ? "Stop" : "Start"; }
    std::string statusLine() const;
    const std::string& message() const { return message_; }
    std::uint64_t droppedDatagrams() const { return sender_.droppedDatagrams(); }

private:
    void save();

    SettingsStore& store_;
    IMidiBackend* midi_;
    OscSender sender_;
    ResolumeOutput output_{sender_};
    std::unique_ptr<MidiClockOutput> clock_;
    std::vector<std::string> outputs_;
    std::string message_;
    double tempo_ = 0.0;
};

} // namespace vyn
