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
    switch (cl.outcome) {
    case CommandLine::Outcome::Help:
        std::fputs(usageText(argv[0]).c_str(), stderr);
        return 0;
    case CommandLine::Outcome::Usage:
        std::fputs(usageText(argv[0]).c_str(), stderr);
        return 2;
    case CommandLine::Outcome::Host:
        return runCommandLineHost(cl.path, cl.deck, cl.probe);
    case CommandLine::Outcome::Window:
        break;
    }
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
