#include "app/LibraryController.h"

#include "app/Application.h"
#include "control/midi/MidiDispatcher.h"
#include "control/midi/MidiHub.h"
#include "library/Catalogue.h"

#include <algorithm>

namespace vyn {

LibraryController::LibraryController(Application& app, Catalogue& catalogue,
                                     std::string setPlanFile)
    : app_(app), catalogue_(catalogue), jobs_(catalogue, missing_), browser_(catalogue, &missing_),
      store_(std::move(setPlanFile)),
      editor_(catalogue, missing_, store_, [this] { return saved().roots; }) {}

LibraryController::~LibraryController() {
    shutdown();
}

SavedDrives LibraryController::saved() const {
    return SavedDrives::read(app_.settingsStore());
}

void LibraryController::show(const std::string& message) {
    status_ = message;
    if (!message.empty()) app_.showMessage(message);
}

void LibraryController::start() {
    const std::string rescued = store_.load();
    editor_.refresh();
    browser_.refreshFromCatalogue();
    if (!rescued.empty()) {
        editor_.setStatus(rescued);
        show(rescued);
    }
    startJob(LibraryJobKind::Reopen, std::string());
}

void LibraryController::shutdown() {
    jobs_.shutdown();
    // A job that ended as the window closed still saves the drives it added.
    LibraryJobOutcome outcome;
    if (jobs_.collect(outcome) && outcome.savedChanged) outcome.saved.write(app_.settingsStore());
}

void LibraryController::startJob(LibraryJobKind kind, const std::string& path) {
    if (app_.closing()) return;
    Application* app = &app_;
    switch (jobs_.start(kind, path, saved(),
                        [app] { app->postMessage(AppMessage::LibraryJobFinished); })) {
    case LibraryJobs::Start::Started:
        status_ = jobs_.progressText();
        break;
    case LibraryJobs::Start::Busy:
        show(library_text::kBusy);
        break;
    case LibraryJobs::Start::NoThread:
        show(library_text::kNoThread);
        break;
    case LibraryJobs::Start::ShuttingDown:
        break;
    }
}

void LibraryController::jobFinished() {
    LibraryJobOutcome outcome;
    if (!jobs_.collect(outcome)) return;
    if (outcome.savedChanged) outcome.saved.write(app_.settingsStore());
    browser_.refreshFromCatalogue();
    store_.syncWithSticks(outcome.saved.roots);
    editor_.refresh();
    status_ = outcome.message;
    if (!outcome.message.empty()) app_.showMessage(outcome.message);
}

void LibraryController::poll() {
    if (jobs_.finished()) jobFinished();
    MidiBrowseEvent e;
    std::vector<MidiBrowseEvent> events;
    while (events.size() < 256 && app_.midi().popBrowseEvent(e))
        events.push_back(e);
    if (!events.empty()) applyMidiBrowse(events);
}

int LibraryController::deckCount() const {
    return std::clamp(app_.settings().visibleDecks, 1, 16);
}

void LibraryController::selectDeck(int deck) {
    deck_ = std::clamp(deck, 0, deckCount() - 1);
}

bool LibraryController::loadTrack(int deck, std::uint32_t trackId, int playlistPosition) {
    switch (app_.loadCatalogueTrack(deck, trackId)) {
    case CatalogueLoad::Queued:
        status_.clear();
        if (playlistPosition >= 0) queueFollowers(deck, playlistPosition);
        return true;
    case CatalogueLoad::NoOutputPair:
        status_ = Application::kNoOutputPair;
        return false;
    default:
        status_ = Application::kCouldNotQueueSelected;
        return false;
    }
}

void LibraryController::queueFollowers(int deck, int position) {
    const std::vector<PlaylistTrack> tracks = browser_.playlistTracks();
    std::vector<std::string> paths;
    for (const PlaylistTrack& t : tracks)
        paths.push_back(t.path);
    const std::vector<int> followers =
        store_.plan().followers(browser_.playlistKey(), position, paths);
    if (followers.empty()) return;
    std::vector<bool> playing(static_cast<std::size_t>(deckCount()));
    for (std::size_t d = 0; d < playing.size(); ++d)
        playing[d] =
            app_.snapshot().decks[d].state == static_cast<std::uint8_t>(DeckState::PLAYING);
    const std::vector<int> decks = followerDecks(deck, followers.size(), playing);
    for (std::size_t i = 0; i < decks.size(); ++i)
        app_.loadCatalogueTrack(decks[i], tracks[static_cast<std::size_t>(followers[i])].id);
}

void LibraryController::activate(int row) {
    const BrowseResult r = browser_.activate(row, deckCount() - 1, deck_ + 1, true);
    if (!r.message.empty()) status_ = r.message;
    if (r.trackId != 0) {
        const int position = browser_.showsPlaylist() ? browser_.selectedPlaylistPosition() : -1;
        loadTrack(r.deck, r.trackId, position);
    }
}

void LibraryController::back() {
    browser_.goBack();
}

void LibraryController::applyMidiBrowse(const std::vector<MidiBrowseEvent>& events) {
    std::vector<BrowseEvent> converted;
    for (const MidiBrowseEvent& e : events) {
        switch (e.kind) {
        case midi_browse::search: // track search on a deck: browse for that deck
            converted.push_back({BrowseEvent::Kind::SelectDeck, e.deck});
            converted.push_back({BrowseEvent::Kind::Scroll, e.amount});
            break;
        case midi_browse::scroll:
            converted.push_back({BrowseEvent::Kind::Scroll, e.amount});
            break;
        case midi_browse::view:
            converted.push_back({BrowseEvent::Kind::Back, 0});
            break;
        case midi_browse::load:
            converted.push_back({BrowseEvent::Kind::Activate, e.deck});
            break;
        default:
            break;
        }
    }
    const BrowseResult r = browser_.applyEvents(converted, deckCount());
    if (!r.message.empty()) status_ = r.message;
    if (r.trackId != 0) {
        const int position = browser_.showsPlaylist() ? browser_.selectedPlaylistPosition() : -1;
        loadTrack(r.deck, r.trackId, position);
    }
}

} // namespace vyn
