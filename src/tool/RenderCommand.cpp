#include "app/DecoderRegistration.h"
#include "audio/WavFileWriter.h"
#include "engine/EngineHost.h"
#include "engine/OfflineRenderer.h"
#include "engine/TrackLoader.h"
#include "library/Catalogue.h"
#include "library/LibraryImport.h"
#include "library/LibraryLoaderHooks.h"
#include "library/UsbTrackCache.h"
#include "support/FileIo.h"
#include "tool/ToolArgs.h"
#include "tool/ToolCommands.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>

namespace vyn::tool {

int runRender(int argc, char** argv) {
    static const char* kUsage =
        "usage: vyn-tool render [--rate R] [--channels N] [--block B] [--seconds S] "
        "[--eq-type 0|1] [--keylock-quality 0|1] [--interpolation 0|1] "
        "[--library FILE.xml|STICK_ROOT] LOG.vynset OUT.wav\n";
    OfflineRenderOptions options;
    std::string libraryPath;
    ToolArgs args(argc, argv);
    std::vector<std::string> positional;
    while (args.more()) {
        if (args.option("--rate", options.sampleRate, 8000.0, 384000.0)) continue;
        if (args.option("--channels", options.channels, 1, 32)) continue;
        if (args.option("--block", options.blockFrames, 1, 65536)) continue;
        if (args.option("--seconds", options.seconds, 0.0, 24.0 * 3600.0)) continue;
        if (args.option("--eq-type", options.sound.eqType, 0, 1)) continue;
        if (args.option("--keylock-quality", options.sound.keylockQuality, 0, 1)) continue;
        if (args.option("--interpolation", options.sound.interpolation, 0, 1)) continue;
        if (args.option("--library", libraryPath)) continue;
        if (args.failed()) break;
        positional.push_back(args.next());
    }
    if (args.failed() || positional.size() != 2) {
        if (args.failed()) std::fprintf(stderr, "vyn-tool render: %s\n", args.error().c_str());
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& logPath = positional[0];
    const std::string& outPath = positional[1];

    FileReadResult file = readWholeFile(logPath, 256u << 20);
    if (!file.ok) {
        std::fprintf(stderr, "vyn-tool render: %s: %s\n", logPath.c_str(), file.error.c_str());
        return 1;
    }
    SetReplayReadResult log = readSetReplay(file.data);
    if (!log.ok) {
        std::fprintf(stderr, "vyn-tool render: %s: %s\n", logPath.c_str(), log.error.c_str());
        return 1;
    }

    // With a library, a LOAD_TRACK naming a catalogue id loads that track as the application does:
    // its file, beat grid, cues and key travel with the load request. A folder is a stick export:
    // its tracks are staged off removable drives and take grid and cues from their analysis files.
    std::unique_ptr<Catalogue> catalogue;
    TrackResolver resolver;
    UsbTrackCache usbCache(makePlatformDriveClassifier());
    usbCache.setCacheFolder(defaultUsbCacheFolder());
    if (!libraryPath.empty()) {
        catalogue = std::make_unique<Catalogue>();
        const ImportResult imported = importLibraryPath(*catalogue, libraryPath);
        if (!imported.ok) {
            std::fprintf(stderr, "vyn-tool render: %s: %s\n", libraryPath.c_str(),
                         imported.error.c_str());
            return 1;
        }
        resolver = [&catalogue](int trackId, LoadRequest& request) {
            std::lock_guard<std::mutex> lock(catalogue->mutex());
            const CatalogueTrack* track = catalogue->trackById(static_cast<std::uint32_t>(trackId));
            if (!track) return false;
            request = makeLoadRequest(*track, -1);
            return true;
        };
    }

    registerPlatformDecoders();
    WavFileWriter wav;
    if (!wav.open(outPath, WavFileWriter::Format::Float32, options.channels,
                  static_cast<std::uint32_t>(options.sampleRate))) {
        std::fprintf(stderr, "vyn-tool render: %s: %s\n", outPath.c_str(), wav.error().c_str());
        return 1;
    }
    const auto started = std::chrono::steady_clock::now();
    OfflineRenderResult result = renderSetReplay(
        log.replay, options,
        [&](const float* data, std::size_t frames) { return wav.writeFloat(data, frames); },
        resolver,
        [&usbCache](EngineHost& engine) {
            engine.loader().setHooks(makeLibraryLoaderHooks(usbCache));
        });
    if (!result.ok) {
        std::fprintf(stderr, "vyn-tool render: %s\n",
                     wav.error().empty() ? result.error.c_str() : wav.error().c_str());
        return 1;
    }
    if (!wav.finish()) {
        std::fprintf(stderr, "vyn-tool render: %s: %s\n", outPath.c_str(), wav.error().c_str());
        return 1;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double seconds = static_cast<double>(result.frames) / options.sampleRate;
    std::fprintf(stderr,
                 "rendered %.3f s (%llu frames, %llu commands) in %.3f s, %.0fx real time\n",
                 seconds, static_cast<unsigned long long>(result.frames),
                 static_cast<unsigned long long>(result.commandsPushed), wall,
                 wall > 0 ? seconds / wall : 0.0);
    return 0;
}

} // namespace vyn::tool
