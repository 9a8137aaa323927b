#include "app/window/VynMain.h"

#include "app/CommandLine.h"
#include "app/CommandLineHost.h"
#include "app/DecoderRegistration.h"
#include "app/window/MainWindow.h"
#include "audio/AudioDeviceFactory.h"
#include "support/SettingsStore.h"

#include <cstdio>

namespace vyn {

int vynMain(int argc, char** argv) {
    const CommandLine cl = parseCommandLine(argc, argv);
    if (const std::optional<int> code = runUnlessWindow(cl, argv[0])) return *code;
    registerPlatformDecoders();
    AudioDeviceChoice choice = createAudioDeviceFromEnvironment();
    ApplicationOptions options;
    options.device = std::move(choice.device);
    options.facility = choice.facility;
    options.deviceError = choice.error;
    options.settings = openUserSettings();
    return runMainWindow(std::move(options));
}

} // namespace vyn
