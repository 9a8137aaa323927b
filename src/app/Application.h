#pragma once
// The application object: owns the engine host and its device, the catalogue and its lock, the
// USB track cache behind the loader hooks, the MIDI hub and input ports, the Link host, the
// settings and the window state (deck panels, layout, swap mark, open tool windows). The window
// draws what it holds and turns clicks into its calls; tests call the same functions without a
// display.
//
// The library (jobs, browsing, Set Plan) is the LibraryController member; set recording, replay
// and the mix recording live in SetSession (sets()). Later subsystems plug in the same way: members
// started in start() and stopped in shutdown(); their refresh work goes into refresh(); their
// posted messages arrive through handleMessage().
//
// Threading: everything runs on the user-interface thread except postMessage(), which any thread
// may call once the window installed its poster (installed before any worker starts).

#include "app/CommandSink.h"
#include "app/DeckPanel.h"
#include "app/SetSession.h"
#include "app/StatusLine.h"
#include "app/StemRequests.h"
#include "app/WindowSettings.h"
#include "audio/IAudioDevice.h"
#include "control/link/LinkHost.h"
#include "control/link/LinkWindowModel.h"
#include "engine/EngineSnapshot.h"
#include "engine/TrackLoader.h"
#include "support/SettingsStore.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vyn {

class Catalogue;
class EngineHost;
class LibraryController;
class MidiHub;
class MidiInputPorts;
class MidiRouter;
class MidiWindowModel;
class ResolumeControl;
class FeedbackControl;
struct FeedbackReport;
class UsbTrackCache;

struct ApplicationOptions {
    std::unique_ptr<IAudioDevice> device;    // null: the audio output is unavailable
    std::string facility;                    // "ALSA", "JACK", ...: for messages
    std::string deviceError;                 // why there is no device
    std::unique_ptr<SettingsStore> settings; // null: kept in memory only
    bool midi = true;                        // open the MIDI inputs at start
    // The local Set Plan file; unset: setplan.txt in the documents folder's VYN folder; empty:
    // none (the plan lives in memory).
    std::optional<std::string> setPlanFile;
};

// Messages posted to the user-interface thread (the window turns them into events of its own
// message loop).
enum class AppMessage : int {
    Refresh = 1,
    LibraryJobFinished = 2,
    UpdateCheckFinished = 3,
    FeedbackSent = 4,
};

// What the view of one deck needs besides the snapshot: the loaded track's waveform, grid, cues
// and rate, refreshed when the loader hands a new track over.
struct DeckView {
    std::string trackName;
    LoadedDeckInfo info;
};

enum class CatalogueLoad { Queued, NoOutputPair, UnknownTrack, Refused };

class Application final : public CommandSink {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kSlowRefresh = std::chrono::milliseconds(100);
    // How long a message stays in the status line before the audio status returns.
    static constexpr const char* kVersion = "v0.1.8-beta";
    static constexpr const char* kNoOutputPair = "This deck has no physical output pair.";
    static constexpr const char* kCouldNotQueueSelected = "Could not queue the selected track.";

    explicit Application(ApplicationOptions options);
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up: sound options, the audio engine (then the deck-count rule), MIDI inputs, status.
    void start();
    // Shutdown: releases held controls, closes the tool windows, stops Link, MIDI and the engine.
    // Idempotent; the destructor calls it.
    void shutdown();
    bool closing() const { return closing_; }

    // One refresh pass (once per display refresh); the slow part runs at most every 100 ms.
    // Returns true when the slow part ran.
    bool refresh(Clock::time_point now);

    // Messages from any thread, delivered by the installed poster (the window's event queue).
    void setMessagePoster(std::function<void(AppMessage)> poster);
    void postMessage(AppMessage message);
    // On the user-interface thread, for each delivered message.
    void handleMessage(AppMessage message, Clock::time_point now);
    void onMessage(AppMessage message, std::function<void()> handler);

    // CommandSink: the window's commands go to the engine host's own ring; refused while a set
    // replay owns the mix.
    bool post(const Command& command) override;
    void setReplayOwnsMix(bool owns);
    bool replayOwnsMix() const { return replayOwnsMix_; }

    // --- state the views read ---
    const EngineSnapshot& snapshot() const { return snapshot_; }
    const WindowSettings& settings() const { return settings_; }
    const std::string& statusLine() const { return statusLine_; }
    // A message in the status line (a save, a library job's result, a refusal), shown until what
    // the line reports changes (audio started or stopped, quantise, Link) or the next message.
    // While a library job runs the line shows its progress instead.
    void showMessage(std::string message);
    bool audioRunning() const;
    int deviceChannels() const { return channels_; }
    double deviceSampleRate() const { return sampleRate_ > 0 ? sampleRate_ : 48000.0; }
    DeckPanel& panel(int index) { return panels_[static_cast<std::size_t>(index)]; }
    const DeckPanel& panel(int index) const { return panels_[static_cast<std::size_t>(index)]; }
    // The stem job of the panel's deck, as of the last slow refresh ("STEMS 43 %").
    const StemJobStatus& stemJob(int panel) const { return stemJobs_[index(panel)]; }
    // A drag or wheel on one of the panel's stems (0 drums .. 3 other).
    void setStemGain(int panel, int stem, double gain);
    const PanelTexts& panelTexts(int index) const {
        return texts_[static_cast<std::size_t>(index)];
    }
    const DeckView& deckView(int deck) const { return views_[static_cast<std::size_t>(deck)]; }
    // The panel shown at layout position `position` (swaps exchange positions).
    int panelAt(int position) const { return order_[static_cast<std::size_t>(position)]; }
    int swapMark() const { return swapMark_; }
    bool hasOutputPair(int deck) const;

    // --- toolbar ---
    void changeDeckCount(int delta);
    void setLayout(PanelLayout layout);
    void setTimeH(bool on);
    void setTimeV(bool on);
    void setChromeAtStart(bool on);
    void setSetPlanWorkspace(bool on);
    void toggleQuantise();
    void toggleAudio();
    void setSoundOptions(const SoundOptions& options);
    bool toolOpen(int toolbarId) const { return openTools_.count(toolbarId) != 0; }
    void toggleTool(int toolbarId);
    void closeTool(int toolbarId) { openTools_.erase(toolbarId); }

    // --- deck panels ---
    void pressDeckControl(int panel, int control);
    void pressSwap(int panel);
    void revDown(int panel, Clock::time_point now) { panels_[index(panel)].revDown(now); }
    void revUp(int panel);
    // Focus or mouse capture lost, or closing: every held control lets go.
    void releaseHeldControls();
    void moveTempoSlider(int panel, int position);
    void zoom(int panel, bool in);
    double trackSeconds(int deck) const;
    // Seeks to a fraction 0..1 of the track (the overview).
    void seek(int panel, double fraction);
    // Queues a file from the file browser or a drop; sets the panel's message.
    bool loadFile(int panel, const std::string& path);
    // A catalogue track (library window, controller browse, Set Plan): the output-pair check,
    // the display name under the catalogue lock, then the load by id.
    CatalogueLoad loadCatalogueTrack(int deck, std::uint32_t trackId);
    void rememberFolder(const std::string& folder);

    // --- set recording and replay (toolbar 1021-1028) ---
    SetSession& sets() { return *sets_; }
    const SetSession& sets() const { return *sets_; }
    // Hands finished loads to the engine and shows their results (also right after a replay
    // releases a held load, so that commands recorded after it never overtake it).
    void pollLoader();

    // --- Link window ---
    LinkWindowModel& linkModel() { return linkModel_; }
    void startLink();
    void stopLink();
    void newLinkCode();

    // --- the subsystems, for the tool windows ---
    EngineHost& engine() { return *engine_; }
    Catalogue& catalogue() { return *catalogue_; }
    LibraryController& library() { return *library_; }
    MidiHub& midi() { return *midiHub_; }
    MidiInputPorts* midiPorts() { return midiPorts_.get(); }
    MidiRouter& midiRouter() { return *midiRouter_; }
    // The MIDI window's state; its periodic work runs in the slow refresh while audio runs.
    MidiWindowModel& midiWindow() { return *midiWindow_; }
    // The Resolume window's state: OSC output and MIDI clock, ticked on every refresh pass.
    ResolumeControl& resolume() { return *resolume_; }
    // The feedback window's state and the update check (started by start()).
    FeedbackControl& feedback() { return *feedback_; }
    // The report of this booth as it runs now (the feedback window's summary and Send).
    FeedbackReport feedbackReport() const;
    LinkHost& link() { return *link_; }
    SettingsStore& settingsStore() { return *store_; }

private:
    static std::size_t index(int panel) { return static_cast<std::size_t>(panel); }
    void startAudio();
    void stopAudio();
    // The saved mappings go in before the inputs open, so a device is mapped from its first
    // message.
    void installSavedMidiMappings();
    void refreshDeckViews();
    void slowRefresh();
    void saveInteger(const char* key, int value);
    std::string statusLineFor(bool running, const std::string& error);
    void updateStatusLine();

    std::unique_ptr<SettingsStore> store_;
    WindowSettings settings_;
    bool userChoseDecks_ = false;
    std::string facility_;
    std::string deviceError_;
    bool wantMidi_ = true;

    std::unique_ptr<Catalogue> catalogue_;
    std::unique_ptr<LibraryController> library_; // after the catalogue: its job thread uses it
    std::unique_ptr<UsbTrackCache> usbCache_;    // outlives the engine, whose loader calls it
    std::unique_ptr<EngineHost> engine_;
    std::unique_ptr<SetSession> sets_; // outlives the MIDI inputs, which write its capture
    std::unique_ptr<MidiRouter> midiRouter_;
    std::unique_ptr<MidiHub> midiHub_;
    std::unique_ptr<MidiInputPorts> midiPorts_;
    std::unique_ptr<MidiWindowModel> midiWindow_;
    std::unique_ptr<ResolumeControl> resolume_;
    std::unique_ptr<FeedbackControl> feedback_;
    std::unique_ptr<LinkHost> link_;
    LinkWindowModel linkModel_;

    EngineSnapshot snapshot_;
    std::array<DeckPanel, kPanelCount> panels_;
    std::array<PanelTexts, kPanelCount> texts_;
    std::array<DeckView, kDeckCount> views_;
    StemRequests stemRequests_;
    std::array<StemJobStatus, kPanelCount> stemJobs_;
    std::array<std::string, kDeckCount> pendingNames_;
    std::array<int, kPanelCount> order_{0, 1, 2, 3, 4, 5, 6, 7};
    int swapMark_ = -1;
    std::set<int> openTools_;
    std::string statusLine_ = "Starting";
    std::string statusMessage_;
    StatusLineInputs statusShown_;
    bool messageIsNew_ = false; // shown since the last slow refresh
    int channels_ = 0;
    double sampleRate_ = 0.0;
    std::string deviceName_;
    std::vector<LoadResult> loadResults_;
    Clock::time_point lastSlow_{};
    Clock::time_point lastMidiScan_{};
    bool started_ = false;
    bool closing_ = false;
    bool shutDown_ = false;
    bool replayOwnsMix_ = false;

    std::function<void(AppMessage)> poster_;
    std::vector<std::pair<AppMessage, std::function<void()>>> handlers_;
};

} // namespace vyn
