#pragma once
// The engine's command vocabulary. Every control source (window, MIDI, Link, replay, loader)
// expresses what it wants as one fixed-size Command; only the audio thread applies them.
// The ordinals are cast straight through from control surfaces, mapping files and set replays:
// never reorder or renumber them.

#include <cstdint>

namespace vyn {

struct LoadedTrack;

enum class CommandType : std::uint16_t {
    NONE = 0,
    LOAD_TRACK = 1,
    UNLOAD = 2,
    PLAY = 3,
    PAUSE = 4,
    SET_PLAYHEAD = 5,
    SET_RATE = 6,
    SET_TRIM = 7,
    SET_FADER = 8,
    SET_EQ_LOW = 9,
    SET_EQ_MID = 10,
    SET_EQ_HIGH = 11,
    SET_KEYLOCK = 12,
    SET_CUE = 13,
    SET_MASTER_GAIN = 14,
    SET_SYNC = 15,
    SET_SYNC_MASTER = 16,
    SYNC_NOW = 17,
    SET_QUANTISE = 18,
    JUMP_HOT_CUE = 19,
    SET_HOT_CUE = 20,
    CLEAR_HOT_CUE = 21,
    CUE_DOWN = 22,
    CUE_UP = 23,
    SET_FILTER = 24,
    SET_FILTER_RESONANCE = 25,
    SET_FX_TARGET = 26,
    SET_FX_MODE = 27,
    SET_FX_MIX = 28,
    SET_FX_PARAM = 29,
    SET_FX_RESONANCE = 30,
    SET_FX_TYPE = 31,
    CLEAR_FX_TARGET = 32,
    JOG_TOUCH = 33,
    JOG = 34,
    JOG_RING = 35,
    LOOP_IN = 36,
    LOOP_OUT = 37,
    RELOOP_EXIT = 38,
    BEAT_LOOP = 39,
    LOOP_HALVE = 40,
    LOOP_DOUBLE = 41,
    BEAT_JUMP = 42,
    LOOP_ADJUST = 43,
    SET_SLIP = 44,
    HOT_CUE_UP = 45,
    SET_REVERSE = 46,
    SET_SLIP_REVERSE = 47,
    SET_KEY_SHIFT = 48,
    KEY_SYNC = 49,
    SET_BEAT_JUMP_BEATS = 50,
    SWAP_DECKS = 51,
    SET_STEM_DRUMS = 52,
    SET_STEM_BASS = 53,
    SET_STEM_VOCALS = 54,
    SET_STEM_OTHER = 55,
    SET_STEMS = 56,
    REPLACE_TRACK = 57,
};

inline constexpr std::uint16_t kLastCommandType = 57;
inline constexpr int kDeckCount = 16;

// Plain value, copied whole through the rings and into set recordings.
struct Command {
    std::uint16_t type = 0;
    std::int16_t deck = -1;
    std::uint32_t reserved = 0; // only the loader fills it; the engine ignores it
    double value = 0.0;
    std::int64_t trackId = -1;
    LoadedTrack* track = nullptr; // LOAD_TRACK / REPLACE_TRACK: ownership passes to the engine

    Command() = default;
    Command(CommandType t, int d, double v = 0.0)
        : type(static_cast<std::uint16_t>(t)), deck(static_cast<std::int16_t>(d)), value(v) {}

    CommandType commandType() const { return static_cast<CommandType>(type); }
    // True when deck lies in 0-15 (any other value, including negatives, means "no deck").
    bool hasValidDeck() const { return deck >= 0 && deck < kDeckCount; }
    // Booleans are value != 0 (NaN counts as true).
    bool flag() const { return value != 0.0; }
};

static_assert(sizeof(Command) == 32, "Command is a fixed 32-byte record");

// Commands whose value is a switch rather than a number: for them a NaN still reads as "on".
bool commandValueIsBoolean(CommandType type);

// Commands whose value is a quantity (a position, gain, index, count...). A non-finite value makes
// such a command meaningless, so the engine drops it.
bool commandValueIsNumber(CommandType type);

// Commands applied by the engine host itself rather than by a deck.
bool isEngineLevelCommand(CommandType type);

// The name of a command type ("PLAY"), or "UNKNOWN" above the last ordinal.
const char* commandTypeName(std::uint16_t type);

} // namespace vyn
