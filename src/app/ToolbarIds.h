#pragma once
// Identifiers of the main window's controls and texts, as the UI map lists them. The toolbar's
// are fixed; deck panel controls are 4000 + 48 x panel + control (DeckPanel.h); the tool windows
// have ranges of their own, listed in the README.

namespace vyn::toolbar_id {

inline constexpr int FEWER_DECKS = 1001;
inline constexpr int MORE_DECKS = 1002;
inline constexpr int GRID = 1003;
inline constexpr int ROWS = 1004;
inline constexpr int COLUMNS = 1005;
inline constexpr int QUANTISE = 1006;
inline constexpr int LIBRARY = 1007;
inline constexpr int MIDI = 1008;
inline constexpr int LINK = 1009;
inline constexpr int AUDIO = 1010; // "Stop" / "Start"
inline constexpr int STATUS = 1011;
inline constexpr int TIME_LEFT = 1012;
inline constexpr int TIME_RIGHT = 1013;
inline constexpr int TIME_UP = 1014;
inline constexpr int TIME_DOWN = 1015;
inline constexpr int CHROME_LEFT = 1016;
inline constexpr int CHROME_RIGHT = 1017;
inline constexpr int VJ = 1018;
inline constexpr int HELP = 1019;
inline constexpr int SET_LABEL = 1020;
inline constexpr int RECORD = 1021;
inline constexpr int REPLAY = 1022;
inline constexpr int REWIND = 1023;
inline constexpr int REPLAY_PAUSE = 1024;
inline constexpr int REPLAY_SPEED = 1025;
inline constexpr int TAKE_OVER = 1026;
inline constexpr int REPLAY_TIME = 1027;
inline constexpr int MIX_RECORD = 1028; // "rec mix"
inline constexpr int MIX = 1030;
inline constexpr int SET_PLAN = 1031;
inline constexpr int DECKS_LABEL = 1032;
inline constexpr int DECK_COUNT = 1033;
// Sound options (toolbar check boxes).
inline constexpr int HQ_KEYLOCK = 1040;
inline constexpr int ISOLATOR_EQ = 1041;
inline constexpr int HQ_RESAMPLING = 1042;

} // namespace vyn::toolbar_id
