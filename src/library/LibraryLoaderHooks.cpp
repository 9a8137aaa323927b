#include "library/LibraryLoaderHooks.h"

#include "dsp/Waveform.h"
#include "library/AnlzReader.h"
#include "library/Catalogue.h"
#include "library/TrackAnalysis.h"
#include "library/UsbTrackCache.h"
#include "support/FileIo.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vyn {
namespace {

void readAnalysis(UsbTrackCache& cache, LoadRequest& request,
                  std::shared_ptr<const Waveform>& waveform) {
    std::string first = request.analysisPath;
    std::string second =
        request.analysisPath2.empty() ? anlzCompanionPath(first) : request.analysisPath2;
    if (first.empty() && second.empty() && request.analysisFd < 0 && request.analysisFd2 < 0)
        return;

    // Analysis files travel with their track: off the stick when the audio comes off it.
    std::vector<std::string> oneShots;
    if (request.audioFd < 0 && cache.needsStaging(request.audioPath)) {
        const std::pair<std::string*, int> files[] = {{&first, request.analysisFd},
                                                      {&second, request.analysisFd2}};
        for (const auto& [path, fd] : files) {
            if (fd >= 0 || path->empty() || !fileExists(*path)) continue;
            StageResult staged = cache.stage(*path);
            if (!staged.ok || staged.path.empty()) continue; // read from the stick instead
            *path = std::move(staged.path);
            if (staged.oneShot) oneShots.push_back(*path);
        }
    }

    TrackAnalysis analysis =
        readTrackAnalysis(first, second, request.analysisFd, request.analysisFd2, true);
    for (const std::string& copy : oneShots)
        removeFile(copy);
    if (analysis.filesRead == 0) return;
    if (request.grid.empty() && !analysis.grid.empty()) request.grid = std::move(analysis.grid);
    if (request.cues.empty() && !analysis.cues.empty()) request.cues = std::move(analysis.cues);
    if (!analysis.waveform.columns.empty())
        waveform = std::make_shared<const Waveform>(std::move(analysis.waveform));
}

} // namespace

LoaderHooks makeLibraryLoaderHooks(UsbTrackCache& cache) {
    LoaderHooks hooks;
    hooks.stageFile = [&cache](const std::string& path, bool& oneShot) -> std::string {
        StageResult staged = cache.stage(path);
        if (!staged.ok) return {};
        oneShot = staged.oneShot;
        return std::move(staged.path);
    };
    hooks.readAnalysis = [&cache](LoadRequest& request, std::shared_ptr<const Waveform>& waveform) {
        readAnalysis(cache, request, waveform);
    };
    return hooks;
}

LoadRequest makeLoadRequest(const CatalogueTrack& track, int deck) {
    LoadRequest r;
    r.deck = deck;
    r.trackId = track.id <= 0x7FFFFFFFu ? static_cast<std::int32_t>(track.id) : 0;
    r.audioPath = track.effectivePath();
    r.analysisPath = track.analysisPath;
    r.grid = track.grid;
    r.cues = track.cues;
    r.keyText = track.key;
    return r;
}

} // namespace vyn
