#pragma once
// Set recording, replay and the mix recording, as the toolbar's "set" group drives them: start
// and end a recording (its drain every refresh, its document built and saved), the set available
// for replay and the replay player with its ticks, and "rec mix", which records the master as a
// WAV file named like the set. Messages go to the window's status line.
//
// A save that fails keeps the recording in memory and says where it could not be written; the
// next "end & save" press tries again. When the sets folder cannot be written the set goes to
// the fallback folder, and the message says so.
//
// Threading: user-interface thread only, except the MIDI capture, which the MIDI input thread
// writes through midiCapture().

#include "engine/MidiCapture.h"
#include "engine/MixRecorder.h"
#include "engine/ReplayPlayer.h"
#include "engine/SetRecorder.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace vyn {

class Application;
class EngineHost;

enum class RecordState { Idle, Recording, Saving, Unsaved };

class SetSession {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double kMaxTickSeconds = 0.1;

    SetSession(Application& app, EngineHost& engine);
    ~SetSession();
    SetSession(const SetSession&) = delete;
    SetSession& operator=(const SetSession&) = delete;

    // Offers the newest saved set for replay.
    void start(Clock::time_point now);
    // Ends the mix recording; a set still recording is finished and saved.
    void shutdown();
    // One refresh pass: the recording's drain (and its end), the replay tick, the mix's losses.
    void refresh(Clock::time_point now);

    // --- the toolbar ---
    void pressRecord(Clock::time_point now);
    void pressReplay(Clock::time_point now);
    void pressRewind(Clock::time_point now);
    void pressPause();
    void pressSpeed();
    void pressTakeOver();
    void toggleMixRecording();

    RecordState recordState() const { return state_; }
    const char* recordLabel() const;
    bool recordEnabled() const;
    bool replayEnabled() const;
    const ReplayPlayer& player() const { return player_; }
    bool mixRecording() const { return mix_.recording(); }
    std::string timeText() const { return player_.timeText(); }
    const std::optional<SetReplay>& available() const { return available_; }

    MidiCapture& midiCapture() { return midi_; }
    MixRecorder& mixRecorder() { return mix_; }
    // The folder of mix recordings: the setting mixFolder, else the sets folder.
    std::string mixFolder() const;

private:
    class Output;
    void finishRecording();
    void save();
    std::uint64_t droppedEvents() const;
    void updateOwnership();
    void stopMix();

    Application& app_;
    EngineHost& engine_;
    MidiCapture midi_;
    MixRecorder mix_;
    std::unique_ptr<Output> output_;

    RecordState state_ = RecordState::Idle;
    std::optional<SetRecorder> recorder_;
    std::optional<SetReplay> unsaved_;
    std::string stem_;
    std::uint64_t finishFrame_ = 0;
    std::optional<SetReplay> available_;

    ReplayPlayer player_;
    Clock::time_point lastTick_{};
    std::uint64_t reportedLost_ = 0;
    bool reportedWriteError_ = false;
};

} // namespace vyn
