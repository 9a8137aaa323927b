#pragma once
// The engine state published once per render block. Readers on any thread copy it whole through
// EngineHost::readSnapshot(); nothing outside the audio thread reads live deck state.

#include <cstdint>
#include <type_traits>

namespace vyn {

enum class DeckState : std::uint8_t { EMPTY = 0, READY = 1, PLAYING = 2, PAUSED = 3 };

// Positions are in source frames of the loaded track unless the name says seconds; -1.0 = unset.
struct DeckSnapshot {
    std::uint8_t state = 0; // DeckState
    bool cue = false;
    bool keylock = false;
    double position = 0.0;
    double rate = 1.0;
    double userRate = 1.0;
    std::uint64_t length = 0;
    float peakLeft = 0.0f;
    float peakRight = 0.0f;
    bool sync = false;
    bool isMaster = false;
    std::int32_t hotCueMask = 0;
    std::uint64_t mainCue = 0;
    bool preview = false;
    float hotCueSeconds[8] = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
    double beat = 0.0;
    float bpm = 0.0f;
    float bar = 0.0f;
    bool hasGrid = false;
    float filter = 0.0f;
    float filterResonance = 0.0f;
    bool looping = false;
    float loopInSeconds = -1.0f;
    float loopOutSeconds = -1.0f;
    bool loopInAdjust = false;
    bool loopOutAdjust = false;
    bool slip = false;
    bool slipActive = false;
    float slipSeconds = -1.0f;
    bool reverse = false;
    bool slipReverse = false;
    bool jogging = false;
    std::int32_t keyShift = 0;
    bool keySync = false;
    bool hasKey = false;
    bool stemsAvailable = false;
    bool stemsOn = false;
    float stemGains[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    std::uint32_t stemVariant = 0;
};

struct EngineSnapshot {
    std::uint64_t frame = 0;
    float worst1s = 0.0f; // milliseconds the slowest render block of the last second took
    std::uint32_t loadedDecks = 0;
    float masterPeak = 0.0f;
    float limiterGain = 1.0f;
    float masterBpm = 0.0f;
    std::int32_t masterDeck = -1;
    bool quantise = false;
    std::int32_t fxTarget = -2;
    std::uint32_t fxType = 0;
    bool fxSendMode = false;
    float fxMix = 0.0f;
    float fxParam = 0.0f;
    float fxResonance = 0.0f;
    std::uint32_t beatJumpBeats = 16;
    DeckSnapshot decks[16];
};

static_assert(std::is_trivially_copyable_v<EngineSnapshot>);

// Deck flag bits sent to control surfaces.
namespace deck_flags {
inline constexpr std::uint32_t CUE = 1;
inline constexpr std::uint32_t KEYLOCK = 2;
inline constexpr std::uint32_t GRID = 4;
inline constexpr std::uint32_t SYNC = 8;
inline constexpr std::uint32_t MASTER = 16;
inline constexpr std::uint32_t PREVIEW = 32;
inline constexpr std::uint32_t LOOPING = 64;
inline constexpr std::uint32_t IN_ADJ = 128;
inline constexpr std::uint32_t OUT_ADJ = 256;
inline constexpr std::uint32_t SLIP = 512;
inline constexpr std::uint32_t SLIP_ACTIVE = 1024;
inline constexpr std::uint32_t REVERSE = 2048;
inline constexpr std::uint32_t SLIP_REVERSE = 4096;
inline constexpr std::uint32_t KEY_SYNC = 8192;
inline constexpr std::uint32_t HAS_KEY = 16384;
inline constexpr std::uint32_t JOGGING = 32768;
inline constexpr std::uint32_t STEMS_AVAIL = 65536;
inline constexpr std::uint32_t STEMS_ON = 131072;
} // namespace deck_flags

std::uint32_t deckFlags(const DeckSnapshot& deck);

} // namespace vyn
