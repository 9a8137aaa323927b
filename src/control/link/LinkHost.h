#pragma once
// Joins the Link server to an engine host: surface intents become commands on the Link's own
// command ring (SWAP_DECKS becomes a swap request to the track loader instead), and the publishing
// tick turns the engine snapshot and the loader's waveforms into the state document and waveform
// frames.
//
// Threading: construct, start, stop and tick on the thread that owns the engine host (the user
// interface thread in the application). The intent handler runs on the Link server thread; it is
// the only producer of the Link ring. setReplayOwnsMix may be called from any thread.

#include "control/link/LinkServer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace vyn {

class EngineHost;
struct Waveform;

// What the window adds to each deck's record (empty name: the loaded file's name, by the track
// display-name rule; nothing for an empty deck).
struct LinkDeckView {
    std::string name;
    double zoomSeconds = 0.0;
};

struct LinkTickInput {
    int deckCount = 4;                   // deck panels shown
    const LinkDeckView* views = nullptr; // 16 entries, or null
    int focusedDeck = 16;                // 16 = none
    std::int64_t controllerDecks = -1;   // -1 = no controller information
};

class LinkHost {
public:
    explicit LinkHost(EngineHost& engine);
    ~LinkHost();
    LinkHost(const LinkHost&) = delete;
    LinkHost& operator=(const LinkHost&) = delete;

    // Starts (or restarts) the server. False when the engine has no free command ring or the port
    // cannot be opened.
    bool start(LinkSettings settings);
    void stop();
    bool running() const { return server_.running(); }

    // One publishing pass; does nothing while the server is stopped. False when no consistent
    // snapshot could be read (the state is then not published this time).
    bool tick(const LinkTickInput& input);

    // While a set replay owns the mix, surface commands are ignored.
    void setReplayOwnsMix(bool owns) { replayOwnsMix_.store(owns); }

    // Intents the engine refused because its ring was full (server thread counter).
    std::uint64_t droppedIntents() const { return dropped_.load(); }

    LinkServer& server() { return server_; }
    const LinkServer& server() const { return server_; }

private:
    void onIntent(const LinkIntent& intent);

    struct Published {
        std::uint64_t loadCount = 0;
        const Waveform* waveform = nullptr;
        std::int32_t trackId = 0;
        bool done = false;
    };

    EngineHost& engine_;
    int producer_ = -1;
    std::atomic<bool> replayOwnsMix_{false};
    std::atomic<std::uint64_t> dropped_{0};
    Published published_[16];
    std::shared_ptr<const Waveform> held_[16]; // keeps the published waveforms' identity stable
    LinkServer server_;
};

} // namespace vyn
