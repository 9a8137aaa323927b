#include "app/SetSession.h"

#include "app/Application.h"
#include "app/SetFiles.h"
#include "engine/EngineHost.h"
#include "library/Catalogue.h"
#include "library/LibraryLoaderHooks.h"
#include "support/FileIo.h"
#include "support/SettingsStore.h"
#include "support/TimeFormat.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace vyn {
namespace {

constexpr const char* kMixFolderSetting = "mixFolder";

std::string fileName(const std::string& path) {
    return utf8FromPath(pathFromUtf8(path).filename());
}

} // namespace

// The live replay's output: commands into the engine host's own ring (so the ownership check,
// which guards the application's send path, does not refuse them), loads held in the loader
// until their frame, and the loader polled at once after a hand-over or swap, so that a command
// recorded after a load never reaches the engine before it.
class SetSession::Output final : public ReplayOutput {
public:
    Output(Application& app, EngineHost& engine) : app_(app), engine_(engine) {}

    bool post(const Command& command) override { return engine_.pushOwn(command); }
    bool preload(int deck, std::int32_t trackId, const std::string& path) override {
        LoadRequest request;
        bool known = false;
        if (trackId > 0) {
            std::lock_guard<std::mutex> lock(app_.catalogue().mutex());
            if (const CatalogueTrack* t =
                    app_.catalogue().trackById(static_cast<std::uint32_t>(trackId))) {
                request = makeLoadRequest(*t, deck);
                known = true;
            }
        }
        if (!known) {
            if (path.empty()) return false;
            request.audioPath = path;
        }
        request.deck = deck;
        request.hold = true;
        return engine_.loader().submit(std::move(request));
    }
    HandOver handOver(int deck) override {
        engine_.loader().release(deck);
        app_.pollLoader();
        return engine_.loader().releasePending(deck) ? HandOver::Waiting : HandOver::Done;
    }
    void swap(int a, int b) override {
        if (engine_.loader().requestSwap(a, b)) app_.pollLoader();
    }
    void discardPreloads() override { engine_.loader().dropHeld(); }

private:
    Application& app_;
    EngineHost& engine_;
};

SetSession::SetSession(Application& app, EngineHost& engine)
    : app_(app), engine_(engine), midi_(engine.capture()), mix_(engine.capture()),
      output_(std::make_unique<Output>(app, engine)) {}

SetSession::~SetSession() = default;

void SetSession::start(Clock::time_point now) {
    available_ = set_files::newestSet({set_files::setsFolder(), set_files::fallbackSetsFolder()});
    lastTick_ = now;
}

void SetSession::shutdown() {
    stopMix();
    if (state_ == RecordState::Recording) {
        engine_.capture().requestFinish();
        state_ = RecordState::Saving;
    }
    // The engine is about to stop: what the rings hold now is the whole recording.
    if (state_ == RecordState::Saving) finishRecording();
    if (player_.loaded()) player_.takeOver(*output_);
}

std::string SetSession::mixFolder() const {
    const auto chosen = app_.settingsStore().text(kMixFolderSetting);
    return chosen && !chosen->empty() ? *chosen : set_files::setsFolder();
}

std::uint64_t SetSession::droppedEvents() const {
    return engine_.capture().dropped() + midi_.dropped();
}

void SetSession::updateOwnership() {
    app_.setReplayOwnsMix(player_.ownsMix());
}

// --- recording ---

const char* SetSession::recordLabel() const {
    switch (state_) {
    case RecordState::Idle:
        return "record";
    case RecordState::Saving:
        return "saving";
    default:
        return "end & save";
    }
}

bool SetSession::recordEnabled() const {
    return state_ != RecordState::Saving && !(player_.loaded() && player_.playing());
}

bool SetSession::replayEnabled() const {
    return available_.has_value() &&
           (state_ == RecordState::Idle || state_ == RecordState::Unsaved);
}

void SetSession::pressRecord(Clock::time_point now) {
    switch (state_) {
    case RecordState::Saving:
        return;
    case RecordState::Unsaved:
        save();
        return;
    case RecordState::Recording:
        engine_.capture().requestFinish();
        finishFrame_ = app_.snapshot().frame;
        state_ = RecordState::Saving;
        app_.showMessage("finishing set\xE2\x80\xA6");
        return;
    case RecordState::Idle:
        break;
    }
    if (!app_.audioRunning()) {
        app_.showMessage("audio is not running");
        return;
    }
    if (player_.loaded()) {
        app_.showMessage("take over the replay before recording");
        return;
    }
    app_.setReplayOwnsMix(false);
    const std::int64_t createdAt = nowUnixMillis();
    stem_ = set_files::freeStem(set_files::stemFor(createdAt),
                                {{set_files::setsFolder(), ".vynset"}, {mixFolder(), ".wav"}});
    // A mix being recorded goes on in a file of the set's name from the set's frame 0.
    std::string mixMessage;
    if (mix_.recording()) {
        const std::string path = mixFolder() + "/" + stem_ + ".wav";
        if (!mix_.splitAtNextSetStart(engine_.capture().startedId(), path))
            mixMessage = "; the mix goes on in " + fileName(mix_.currentPath());
    }
    const std::uint64_t droppedAtStart = droppedEvents();
    const std::uint32_t id = engine_.capture().requestStart();
    if (id == 0) {
        app_.showMessage("could not start set recording");
        return;
    }
    recorder_.emplace(id, createdAt, app_.deviceSampleRate(), droppedAtStart);
    state_ = RecordState::Recording;
    app_.showMessage("recording commands and MIDI" + mixMessage);
    (void)now;
}

void SetSession::finishRecording() {
    while (recorder_->drain(engine_.capture(), midi_) > 0) {
    }
    unsaved_ = recorder_->build(droppedEvents());
    recorder_.reset();
    save();
}

void SetSession::save() {
    const std::string primary = set_files::setsFolder();
    const set_files::SaveResult first = set_files::save(*unsaved_, primary, stem_);
    std::string message;
    if (first.ok) {
        message = set_files::savedMessage(*unsaved_, first.path);
    } else {
        const std::string fallback = set_files::fallbackSetsFolder();
        const set_files::SaveResult second = set_files::save(*unsaved_, fallback, stem_);
        if (!second.ok) {
            available_ = unsaved_;
            state_ = RecordState::Unsaved;
            app_.showMessage("could not save set replay in " + primary + " (" + first.error +
                             ") nor in " + fallback + " (" + second.error +
                             "); end & save tries again");
            return;
        }
        message = set_files::savedMessage(*unsaved_, second.path) + " in " + fallback + ": " +
                  primary + " could not be written (" + first.error + ")";
    }
    available_ = std::move(unsaved_);
    unsaved_.reset();
    state_ = RecordState::Idle;
    app_.showMessage(message);
}

// --- refresh ---

void SetSession::refresh(Clock::time_point now) {
    if (recorder_) recorder_->drain(engine_.capture(), midi_);
    // Once a block has begun after the finish, nothing more of this recording can arrive.
    if (state_ == RecordState::Saving && recorder_ &&
        (!app_.audioRunning() || app_.snapshot().frame > finishFrame_))
        finishRecording();

    double elapsed = std::chrono::duration<double>(now - lastTick_).count();
    lastTick_ = now;
    if (player_.ownsMix() && app_.audioRunning()) {
        player_.tick(std::clamp(elapsed, 0.0, kMaxTickSeconds), *output_);
        if (!player_.ownsMix()) updateOwnership();
    }

    if (mix_.recording()) {
        const std::uint64_t lost = mix_.lostFrames();
        if (lost > reportedLost_) {
            reportedLost_ = lost;
            app_.showMessage("mix recording lost " +
                             std::to_string(std::llround(1000.0 * static_cast<double>(lost) /
                                                         mix_.sampleRate())) +
                             " ms");
        }
        if (!reportedWriteError_) {
            const std::string error = mix_.writeError();
            if (!error.empty()) {
                reportedWriteError_ = true;
                app_.showMessage("could not write the mix recording: " + error);
            }
        }
    }
}

// --- replay ---

void SetSession::pressReplay(Clock::time_point now) {
    if (!replayEnabled()) return;
    if (!app_.audioRunning()) {
        app_.showMessage("audio is not running");
        return;
    }
    player_.start(*available_, *output_);
    lastTick_ = now;
    updateOwnership();
    app_.showMessage("replay controls own the mix");
}

void SetSession::pressRewind(Clock::time_point now) {
    if (!player_.loaded()) return;
    player_.rewind(*output_);
    lastTick_ = now;
    updateOwnership();
}

void SetSession::pressPause() {
    if (player_.paused())
        player_.resume(*output_);
    else
        player_.pause(app_.snapshot(), *output_);
}

void SetSession::pressSpeed() {
    player_.toggleSpeed(*output_);
}

void SetSession::pressTakeOver() {
    if (!player_.loaded()) return;
    player_.takeOver(*output_);
    updateOwnership();
    app_.showMessage("replay released \xE2\x80\x94 live controls have taken over");
}

// --- the mix ---

void SetSession::toggleMixRecording() {
    if (mix_.recording()) {
        stopMix();
        return;
    }
    if (!app_.audioRunning()) {
        app_.showMessage("audio is not running");
        return;
    }
    const std::string folder = mixFolder();
    std::error_code ec;
    std::filesystem::create_directories(pathFromUtf8(folder), ec);
    // During a set recording the mix takes the set's name and starts at its frame 0, silent
    // until now, so the two line up.
    std::int64_t from = -1;
    std::string stem;
    if (state_ == RecordState::Recording && recorder_) {
        from = engine_.capture().startFrameOf(recorder_->recordingId());
        if (from >= 0 && !std::filesystem::exists(pathFromUtf8(folder + "/" + stem_ + ".wav"), ec))
            stem = stem_;
    }
    if (stem.empty()) {
        from = -1;
        stem = set_files::freeStem(set_files::stemFor(nowUnixMillis()),
                                   {{folder, ".wav"}, {set_files::setsFolder(), ".vynset"}});
    }
    const std::string path = folder + "/" + stem + ".wav";
    reportedLost_ = 0;
    reportedWriteError_ = false;
    if (!mix_.start(path, app_.deviceSampleRate(), from)) {
        app_.showMessage("could not record the mix in " + folder + ": " + mix_.error());
        return;
    }
    app_.showMessage("recording the mix to " + fileName(path));
}

void SetSession::stopMix() {
    if (!mix_.recording()) return;
    const MixRecordingResult r = mix_.stop();
    std::string message = "mix saved " + fileName(r.files.back()) + " (" +
                          minutesAndSeconds(static_cast<double>(r.frames) / mix_.sampleRate()) +
                          ")";
    if (r.lostFrames > 0)
        message += "; mix recording lost " +
                   std::to_string(std::llround(1000.0 * static_cast<double>(r.lostFrames) /
                                               mix_.sampleRate())) +
                   " ms";
    if (!r.error.empty()) message += "; could not write all of it: " + r.error;
    app_.showMessage(message);
}

} // namespace vyn
