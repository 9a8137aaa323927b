#pragma once
// The library in the application: the library jobs and what follows them (saved lists written,
// views refreshed, the Set Plan synced with the sticks), the library window's browse model with
// its search and deck selector, loads onto decks with the Set Plan followers, controller browse
// events from the MIDI browse ring, and the Set Plan editor. The window draws this and turns
// clicks and keys into these calls; tests call the same functions.
//
// Threading: user-interface thread only. The library job's thread reports through
// Application::postMessage(AppMessage::LibraryJobFinished).

#include "app/SetPlanEditor.h"
#include "library/BrowseModel.h"
#include "library/LibraryJobs.h"
#include "library/MissingTracks.h"
#include "library/SetPlanStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

class Application;
class Catalogue;
struct MidiBrowseEvent;

class LibraryController {
public:
    // `setPlanFile`: the local Set Plan file (empty: memory only).
    LibraryController(Application& app, Catalogue& catalogue, std::string setPlanFile);
    ~LibraryController();
    LibraryController(const LibraryController&) = delete;
    LibraryController& operator=(const LibraryController&) = delete;

    // Start-up: the Set Plan from its local file, then the saved drives reopened as a job.
    void start();
    // Refuses new jobs and joins a running one; the drives it saved are still written.
    void shutdown();

    // The library window's buttons (kinds 1-5) and the start-up reopen (kind 0).
    void startJob(LibraryJobKind kind, const std::string& path);
    bool busy() const { return jobs_.busy(); }
    // The job's end (the posted message, or noticed by poll()).
    void jobFinished();
    // Each refresh pass: a finished job not yet handled, and the controller browse events.
    void poll();
    // What the status line shows while a job runs; empty when idle.
    std::string progressText() const { return jobs_.progressText(); }

    // --- the library window ---
    BrowseModel& browser() { return browser_; }
    const std::string& status() const { return status_; }
    void setSearch(const std::string& text) { browser_.setSearch(text); }
    int deckCount() const;
    int selectedDeck() const { return deck_; }
    void selectDeck(int deck);
    // Double-click or Enter on a row: navigates, or loads the track onto the selected deck.
    void activate(int row);
    void back();
    void openEntry(int entry) { browser_.openEntry(entry); }
    void openAllTracks() { browser_.openAllTracks(); }

    // Loads a catalogue track onto `deck`; with a playlist position (>= 0) the Set Plan followers
    // of that row go onto decks that are not playing. False when it was not queued.
    bool loadTrack(int deck, std::uint32_t trackId, int playlistPosition);
    // Controller browse events (MIDI kinds 1-4), applied to the library window's model.
    void applyMidiBrowse(const std::vector<MidiBrowseEvent>& events);

    // --- Set Plan ---
    SetPlanEditor& setPlan() { return editor_; }
    SetPlanStore& setPlanStore() { return store_; }
    const MissingTracks& missing() const { return missing_; }

private:
    SavedDrives saved() const;
    void show(const std::string& message);
    void queueFollowers(int deck, int position);

    Application& app_;
    Catalogue& catalogue_;
    MissingTracks missing_;
    LibraryJobs jobs_;
    BrowseModel browser_;
    SetPlanStore store_;
    SetPlanEditor editor_;
    std::string status_;
    int deck_ = 0;
};

} // namespace vyn
