// The user's settings on Linux: settings.ini in the configuration folder.

#include "support/KnownFolders.h"
#include "support/SettingsStore.h"

namespace vyn {

std::unique_ptr<SettingsStore> openUserSettings() {
    const std::string folder = configFolder();
    // Without a home folder the settings live in memory only: every write fails quietly.
    return openSettingsFile(folder.empty() ? std::string() : folder + "/settings.ini");
}

} // namespace vyn
