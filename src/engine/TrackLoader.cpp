#include "engine/TrackLoader.h"

#include "engine/EngineHost.h"

namespace vyn {

TrackLoader::TrackLoader(EngineHost& engine)
    : engine_(engine), producer_(engine.acquireProducer()) {}

TrackLoader::~TrackLoader() {
    stop();
}

void TrackLoader::start(int) {
    running_ = true;
}

void TrackLoader::stop() {
    running_ = false;
}

// Decoding arrives with the audio file readers; until then every load is refused.
bool TrackLoader::queueLoad(int, std::string) {
    return false;
}

bool TrackLoader::requestSwap(int a, int b) {
    return running_ && a != b && a >= 0 && a < 16 && b >= 0 && b < 16;
}

void TrackLoader::poll(std::vector<LoadResult>& results) {
    results.clear();
    std::vector<LoadedTrack*> retired;
    engine_.drainRetired(retired);
    for (LoadedTrack* t : retired)
        engine_.destroyTrack(t);
}

} // namespace vyn
