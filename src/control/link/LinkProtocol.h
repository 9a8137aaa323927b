#pragma once
// The Link protocol's pure parts: pairing codes and the pairing link, the messages a surface sends
// and how they are checked, the state document, and the binary waveform frame. Nothing here owns a
// socket or a thread.

#include "engine/EngineSnapshot.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

struct WaveColumn;

// What a surface asks the engine for: a CommandType ordinal for a deck (-1 = none).
struct LinkIntent {
    std::int32_t command = 0;
    std::int32_t deck = -1;
    double value = 0.0;
    bool hasCommand = false;
};

// "load" and "pick" from a surface's browser, kept for a library consumer.
struct BrowseIntent {
    enum Kind : std::int32_t { PICK = 0, LOAD = 1 };
    std::int32_t kind = PICK;
    std::int32_t row = 0;      // pick
    std::uint32_t trackId = 0; // load
    std::int32_t deck = 0;
};

enum class LinkMessageKind { Ignored, Hello, Command, Browse };

struct LinkMessage {
    LinkMessageKind kind = LinkMessageKind::Ignored;
    std::string pair;    // Hello
    LinkIntent intent;   // Command
    BrowseIntent browse; // Browse
};

// Reads one text message from a surface. Anything malformed, out of range, not finite, or a load
// that would carry a track object comes back as Ignored.
LinkMessage parseLinkMessage(std::string_view text);

// The command ordinals a surface may send: 0-64, except the loads that carry an engine-side track
// object (LOAD_TRACK, REPLACE_TRACK). Ordinals the engine does not know are passed on and ignored
// there, so a newer page keeps working with an older host.
inline constexpr std::int32_t kLastSurfaceOrdinal = 64;
bool isSurfaceCommand(std::int32_t ordinal);

// Four decimal digits drawn uniformly from the platform's non-deterministic random device.
std::string drawPairingCode();
bool isPairingCode(std::string_view code);

// Four decimal numbers 0-255 with dots, first neither 0 nor 127, not in 169.254.0.0/16.
bool isUsableAddress(std::string_view address);

// "vynlink://" + usable addresses joined by "," + ":" + port + "/" + code; empty when the port is
// not 1-65535, the code is not four digits or no address is usable.
std::string pairingLink(const std::vector<std::string>& addresses, int port, std::string_view code);

// What the application knows about a deck beyond the engine snapshot.
struct LinkDeckRecord {
    std::string name;
    std::int32_t trackId = 0;
    double sampleRate = 0.0; // the track file's rate; 0 = not known
    std::int32_t waveColumns = 0;
    double zoomSeconds = 0.0; // 0 = not known
};

struct LinkStateInput {
    int deckCount = 0; // deck panels shown; clamped to 0-16
    std::string_view session = "VYN";
    const LinkDeckRecord* decks = nullptr; // 16 records (or null: all defaults)
    const EngineSnapshot* snapshot = nullptr;
    double outputSampleRate = 48000.0;
    int focusedDeck = 16;              // written only when below 16 (and not negative)
    std::int64_t controllerDecks = -1; // written only when not negative
};

// The state document, in its fixed key order. Numbers are written without the C locale and never
// as "nan" or "inf"; strings are valid UTF-8.
std::string buildStateDocument(const LinkStateInput& input);

inline constexpr int kWaveDetail = 0;
inline constexpr int kWaveOverview = 1;
inline constexpr std::size_t kWaveHeaderBytes = 20;
inline constexpr std::size_t kDetailColumnLimit = 200000;
inline constexpr std::size_t kOverviewColumnLimit = 2048;

// The waveform frame's payload: the 20-byte little-endian header, then the columns. Empty when
// there are no columns.
std::string buildWaveformPayload(int deck, std::int32_t trackId, int kind, float columnsPerSecond,
                                 const WaveColumn* columns, std::size_t count);

} // namespace vyn
