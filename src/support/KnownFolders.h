#pragma once
// Where this user's files go, by the platform's conventions. Linux follows the XDG base
// directories and xdg-user-dirs (`user-dirs.dirs` for the documents folder); Windows asks the shell
// for its known folders (Documents\VYN; VYN in the local application data for the rest, as the
// settings themselves are in the registry; VYN_USER_ROOT, when set, stands in for the profile
// folder that holds Documents and AppData\Local). Each function returns
// an absolute path without a trailing slash, or an empty string when no per-user location is
// known (no HOME); nothing is created here.
//
// Threading: any thread (reads the environment and one small file).

#include <string>

namespace vyn {

// VYN's configuration folder: $XDG_CONFIG_HOME/vyn, default ~/.config/vyn (settings.ini,
// midimaps/).
std::string configFolder();
// VYN's user data under the documents folder: $XDG_DOCUMENTS_DIR/VYN, default ~/Documents/VYN
// (saved sets, the local set plan).
std::string documentsFolder();
// VYN's caches: $XDG_CACHE_HOME/vyn, default ~/.cache/vyn (stem cache, USB track cache).
std::string cacheFolder();
// VYN's data: $XDG_DATA_HOME/vyn, default ~/.local/share/vyn.
std::string dataFolder();

// The folder of the running executable (mapping presets and fonts sit beside it); empty when
// the system cannot say.
std::string executableFolder();

// The documents folder as user-dirs.dirs names it: the line XDG_DOCUMENTS_DIR="..." with $HOME
// expanded; empty when the text has no usable line. Exposed for tests.
std::string documentsDirFromUserDirs(const std::string& userDirsText, const std::string& home);

} // namespace vyn
