#include "engine/Command.h"

namespace vyn {

bool commandValueIsBoolean(CommandType type) {
    switch (type) {
    case CommandType::SET_KEYLOCK:
    case CommandType::SET_CUE:
    case CommandType::SET_SYNC:
    case CommandType::SET_QUANTISE:
    case CommandType::SET_FX_MODE:
    case CommandType::JOG_TOUCH:
    case CommandType::SET_SLIP:
    case CommandType::SET_REVERSE:
    case CommandType::SET_SLIP_REVERSE:
    case CommandType::SET_STEMS:
        return true;
    default:
        return false;
    }
}

bool commandValueIsNumber(CommandType type) {
    if (commandValueIsBoolean(type)) return false;
    switch (type) {
    case CommandType::NONE:
    case CommandType::LOAD_TRACK:
    case CommandType::UNLOAD:
    case CommandType::PLAY:
    case CommandType::PAUSE:
    case CommandType::SET_SYNC_MASTER:
    case CommandType::SYNC_NOW:
    case CommandType::CUE_DOWN:
    case CommandType::CUE_UP:
    case CommandType::CLEAR_FX_TARGET:
    case CommandType::LOOP_IN:
    case CommandType::LOOP_OUT:
    case CommandType::RELOOP_EXIT:
    case CommandType::LOOP_HALVE:
    case CommandType::LOOP_DOUBLE:
    case CommandType::KEY_SYNC:
    case CommandType::REPLACE_TRACK:
        return false;
    default:
        return static_cast<std::uint16_t>(type) <= kLastCommandType;
    }
}

bool isEngineLevelCommand(CommandType type) {
    const auto t = static_cast<std::uint16_t>(type);
    return (t >= 14 && t <= 18) || (t >= 24 && t <= 32) || t == 49 || t == 50 || t == 51;
}

const char* commandTypeName(std::uint16_t type) {
    static const char* const names[] = {
        "NONE",
        "LOAD_TRACK",
        "UNLOAD",
        "PLAY",
        "PAUSE",
        "SET_PLAYHEAD",
        "SET_RATE",
        "SET_TRIM",
        "SET_FADER",
        "SET_EQ_LOW",
        "SET_EQ_MID",
        "SET_EQ_HIGH",
        "SET_KEYLOCK",
        "SET_CUE",
        "SET_MASTER_GAIN",
        "SET_SYNC",
        "SET_SYNC_MASTER",
        "SYNC_NOW",
        "SET_QUANTISE",
        "JUMP_HOT_CUE",
        "SET_HOT_CUE",
        "CLEAR_HOT_CUE",
        "CUE_DOWN",
        "CUE_UP",
        "SET_FILTER",
        "SET_FILTER_RESONANCE",
        "SET_FX_TARGET",
        "SET_FX_MODE",
        "SET_FX_MIX",
        "SET_FX_PARAM",
        "SET_FX_RESONANCE",
        "SET_FX_TYPE",
        "CLEAR_FX_TARGET",
        "JOG_TOUCH",
        "JOG",
        "JOG_RING",
        "LOOP_IN",
        "LOOP_OUT",
        "RELOOP_EXIT",
        "BEAT_LOOP",
        "LOOP_HALVE",
        "LOOP_DOUBLE",
        "BEAT_JUMP",
        "LOOP_ADJUST",
        "SET_SLIP",
        "HOT_CUE_UP",
        "SET_REVERSE",
        "SET_SLIP_REVERSE",
        "SET_KEY_SHIFT",
        "KEY_SYNC",
        "SET_BEAT_JUMP_BEATS",
        "SWAP_DECKS",
        "SET_STEM_DRUMS",
        "SET_STEM_BASS",
        "SET_STEM_VOCALS",
        "SET_STEM_OTHER",
        "SET_STEMS",
        "REPLACE_TRACK",
    };
    static_assert(sizeof(names) / sizeof(names[0]) == kLastCommandType + 1);
    return type <= kLastCommandType ? names[type] : "UNKNOWN";
}

} // namespace vyn
