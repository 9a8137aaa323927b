#include "app/CommandLineHost.h"

#include "app/CommandLine.h"
#include "app/DecoderRegistration.h"
#include "audio/AudioDeviceFactory.h"
#include "engine/EngineHost.h"
#include "library/LibraryLoaderHooks.h"
#include "library/UsbTrackCache.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace vyn {
namespace {

volatile std::sig_atomic_t gRunning = 1;

extern "C" void onInterrupt(int) {
    gRunning = 0;
}

void printError(const std::string& text) {
    std::fputs(text.c_str(), stderr);
}

std::string formatRate(double rate) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", rate);
    return buf;
}

} // namespace

std::string deviceLine(const DeviceFormat& f, long long latencyFrames) {
    std::string s = f.backendName;
    if (!f.endpointName.empty()) s += " (" + f.endpointName + ")";
    s += ": " + formatRate(f.sampleRate) + " Hz, " + std::to_string(f.channels) +
         " output channels, " + std::to_string(f.bufferFrames) + " frames, latency " +
         std::to_string(latencyFrames) + " frames\n";
    return s;
}

int runCommandLineHost(const std::string& path, int deck, bool probe) {
    return runCommandLineHost(path, deck, probe, makePlatformDriveClassifier());
}

int runCommandLineHost(const std::string& path, int deck, bool probe,
                       std::unique_ptr<IDriveClassifier> drives) {
    // Handlers first: an interrupt while the device opens or the track loads still ends cleanly.
    gRunning = 1;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    registerPlatformDecoders();
    // A file on a stick is copied to the local disk before it is decoded, as in every other host
    // of the engine. The cache outlives the engine, whose loader calls into it.
    UsbTrackCache usbCache(std::move(drives));
    AudioDeviceChoice choice = createAudioDeviceFromEnvironment();
    if (!choice.device) {
        printError("VYN " + choice.error + "\n");
        return 1;
    }
    IAudioDevice* device = choice.device.get();
    auto engine = EngineHost::create(std::move(choice.device));
    engine->loader().setHooks(makeLibraryLoaderHooks(usbCache));
    if (!engine->open()) {
        printError("VYN could not open " + choice.facility + ": " + device->lastError() + "\n");
        return 1;
    }
    printError(deviceLine(device->format(), device->latencyFrames()));
    if (probe) {
        engine->stop();
        return 0;
    }
    usbCache.setCacheFolder(defaultUsbCacheFolder());
    if (!engine->loader().queueLoad(deck, path)) {
        printError("VYN could not queue the track for loading\n");
        engine->stop();
        return 1;
    }
    bool playQueued = false;
    std::vector<LoadResult> results;
    while (gRunning) {
        const auto passStart = std::chrono::steady_clock::now();
        engine->loader().poll(results);
        for (const LoadResult& r : results) {
            if (!r.ok) {
                printError("VYN could not load " + r.path + ": " + r.error + "\n");
                gRunning = 0;
                break;
            }
            if (static_cast<int>(r.deck) != deck) continue;
            if (!engine->pushOwn(Command(CommandType::PLAY, deck, 0.0))) {
                printError("VYN could not queue play\n");
                gRunning = 0;
                break;
            }
            printError("Playing " + r.path + " on deck " + std::to_string(deck + 1) + "\n");
            playQueued = true;
        }
        std::this_thread::sleep_until(passStart + std::chrono::milliseconds(10));
    }
    engine->stop();
    return playQueued ? 0 : 1;
}

std::optional<int> runUnlessWindow(const CommandLine& cl, const char* programName) {
    switch (cl.outcome) {
    case CommandLine::Outcome::Help:
        std::fputs(usageText(programName).c_str(), stderr);
        return 0;
    case CommandLine::Outcome::Usage:
        std::fputs(usageText(programName).c_str(), stderr);
        return 2;
    case CommandLine::Outcome::Host:
        return runCommandLineHost(cl.path, cl.deck, cl.probe);
    case CommandLine::Outcome::Window:
        break;
    }
    return std::nullopt;
}

} // namespace vyn
