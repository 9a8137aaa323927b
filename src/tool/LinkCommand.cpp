// vyn-tool link: the engine on the silent output with the Link server, so that the remote page can
// be tried from a phone on the same network and driven by tests. Prints "port:", "code:" and
// "link:" lines on standard output once it listens (the link is empty without a usable network
// address), draws the pairing QR code on standard error, loads the given tracks onto decks 1, 2,
// ... and plays them, and serves until interrupted.

#include "app/DecoderRegistration.h"
#include "audio/NullAudioDevice.h"
#include "control/link/LinkHost.h"
#include "control/link/LinkPage.h"
#include "control/link/LinkWindowModel.h"
#include "control/link/SocketLayer.h"
#include "engine/EngineHost.h"
#include "library/Catalogue.h"
#include "library/ImportCounts.h"
#include "library/LibraryImport.h"
#include "library/LibraryLoaderHooks.h"
#include "library/UsbTrackCache.h"
#include "support/TrackName.h"
#include "tool/ToolArgs.h"
#include "tool/ToolCommands.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace vyn::tool {
namespace {

volatile std::sig_atomic_t gStop = 0;

extern "C" void onLinkSignal(int) {
    gStop = 1;
}

// Two rows of modules per text line with half blocks, dark modules drawn dark on a light terminal
// background colour, so that a phone can scan it straight off the screen.
void printQr(const QrModules& qr) {
    if (qr.empty()) return;
    const int quiet = 2;
    const int n = qr.size + 2 * quiet;
    for (int y = 0; y < n; y += 2) {
        std::string line = "\x1b[30;47m";
        for (int x = 0; x < n; ++x) {
            const bool top = qr.at(x - quiet, y - quiet);
            const bool bottom = y + 1 < n && qr.at(x - quiet, y + 1 - quiet);
            line += top && bottom ? "\xE2\x96\x88"
                    : top         ? "\xE2\x96\x80"
                    : bottom      ? "\xE2\x96\x84"
                                  : " ";
        }
        line += "\x1b[0m\n";
        std::fputs(line.c_str(), stderr);
    }
}

} // namespace

int runLink(int argc, char** argv) {
    static const char* kUsage =
        "usage: vyn-tool link [--port P] [--library FILE.xml|STICK_ROOT] [TRACK...]\n";
    int port = LinkWindowModel::kPort;
    std::string libraryPath;
    std::vector<std::string> tracks;
    ToolArgs args(argc, argv);
    while (args.more()) {
        if (args.option("--port", port, 0, 65535)) continue;
        if (args.option("--library", libraryPath)) continue;
        if (args.failed()) break;
        if (args.peek().rfind("--", 0) == 0) {
            std::fprintf(stderr, "vyn-tool link: unknown option %s\n", args.peek().c_str());
            std::fputs(kUsage, stderr);
            return 2;
        }
        tracks.push_back(args.next());
    }
    if (args.failed() || tracks.size() > 16) {
        std::fprintf(stderr, "vyn-tool link: %s\n",
                     args.failed() ? args.error().c_str() : "at most 16 tracks");
        std::fputs(kUsage, stderr);
        return 2;
    }

    Catalogue catalogue;
    if (!libraryPath.empty()) {
        const ImportResult imported = importLibraryPath(catalogue, libraryPath);
        if (!imported.ok) {
            std::fprintf(stderr, "vyn-tool link: %s: %s\n", libraryPath.c_str(),
                         imported.error.c_str());
            return 1;
        }
        std::fprintf(stderr, "%s\n", importReport(imported.counts).c_str());
    }

    registerPlatformDecoders();
    // Stick tracks are staged off removable drives and take grid and cues from their analysis.
    // The cache outlives the engine, whose loader calls into it.
    UsbTrackCache usbCache(makePlatformDriveClassifier());
    usbCache.setCacheFolder(defaultUsbCacheFolder());
    auto engine = EngineHost::create(std::make_unique<NullAudioDevice>(2, 48000.0, 256));
    engine->loader().setHooks(makeLibraryLoaderHooks(usbCache));
    if (!engine->open()) {
        std::fputs("vyn-tool link: could not start the engine on the null output\n", stderr);
        return 1;
    }

    LinkWindowModel model;
    model.drawCode();
    LinkHost link(*engine);
    model.setPort(port);
    model.startLink(link, engine->running());
    if (!model.running()) {
        std::fprintf(stderr, "vyn-tool link: could not open port %d\n", port);
        engine->stop();
        return 1;
    }
    model.setPort(link.server().port());
    model.setAddresses(net::localIPv4Addresses());
    std::printf("port: %d\ncode: %s\nlink: %s\n", link.server().port(), model.code().c_str(),
                model.pairingLink().c_str());
    std::fflush(stdout);
    for (const std::string& a : model.addresses())
        std::fprintf(stderr, "open http://%s:%d/ on a phone, tablet or laptop on this network\n",
                     a.c_str(), link.server().port());
    printQr(model.qr());

    std::signal(SIGINT, onLinkSignal);
    std::signal(SIGTERM, onLinkSignal);

    // Files from the command line get ids after the catalogue's, so surfaces tell tracks apart.
    std::string pendingNames[16];
    bool playWhenLoaded[16] = {};
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        LoadRequest request;
        request.deck = static_cast<int>(i);
        request.trackId = static_cast<std::int32_t>(catalogue.nextId() + i);
        request.audioPath = tracks[i];
        pendingNames[i] = trackDisplayName({}, {}, tracks[i]);
        playWhenLoaded[i] = true;
        engine->loader().submit(std::move(request));
    }

    LinkDeckView views[16];
    LinkTickInput tick;
    tick.deckCount = std::max<int>(libraryPath.empty() ? 2 : 4, static_cast<int>(tracks.size()));
    tick.views = views;
    std::vector<LoadResult> results;
    int exitCode = 0;
    while (!gStop) {
        const auto passStart = std::chrono::steady_clock::now();
        engine->loader().poll(results);
        for (const LoadResult& r : results) {
            if (!r.ok) {
                std::fprintf(stderr, "vyn-tool link: could not load %s: %s\n", r.path.c_str(),
                             r.error.c_str());
                exitCode = 1;
                continue;
            }
            views[r.deck].name = pendingNames[r.deck];
            if (!playWhenLoaded[r.deck]) {
                std::fprintf(stderr, "loaded %s on deck %u\n", r.path.c_str(), r.deck + 1);
                continue;
            }
            playWhenLoaded[r.deck] = false;
            engine->pushOwn(Command(CommandType::PLAY, static_cast<int>(r.deck)));
            std::fprintf(stderr, "playing %s on deck %u\n", r.path.c_str(), r.deck + 1);
        }
        BrowseIntent browse;
        while (link.server().popBrowseIntent(browse)) {
            // Rows of a browser only mean something to a window that shows one.
            if (browse.kind != BrowseIntent::LOAD) continue;
            LoadRequest request;
            {
                std::lock_guard<std::mutex> lock(catalogue.mutex());
                const CatalogueTrack* track = catalogue.trackById(browse.trackId);
                if (!track) continue;
                request = makeLoadRequest(*track, browse.deck);
                pendingNames[browse.deck] = Catalogue::displayName(*track);
            }
            engine->loader().submit(std::move(request));
        }
        link.tick(tick);
        std::this_thread::sleep_until(passStart + std::chrono::milliseconds(16));
    }
    link.stop();
    engine->stop();
    return exitCode;
}

} // namespace vyn::tool
