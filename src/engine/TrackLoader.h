#pragma once
// Loads tracks off the audio thread: a worker decodes the file and builds a LoadedTrack; the
// thread that owns the engine host polls for finished loads, which it hands to the engine as
// LOAD_TRACK commands through the loader's own producer slot.
//
// Threading: start/stop/poll from the engine host's owning thread; queueLoad/submit/requestSwap
// from any thread (they take the loader mutex); workers run decoding outside the mutex.

#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

class EngineHost;

struct LoadResult {
    std::uint32_t deck = 0;
    std::string path;
    bool ok = false;
    std::string error;
};

class TrackLoader {
public:
    explicit TrackLoader(EngineHost& engine);
    ~TrackLoader();
    TrackLoader(const TrackLoader&) = delete;
    TrackLoader& operator=(const TrackLoader&) = delete;

    void start(int workers);
    void stop();
    bool queueLoad(int deck, std::string path);
    bool requestSwap(int a, int b);
    // Frees retired tracks and returns the finished loads, in order.
    void poll(std::vector<LoadResult>& results);

private:
    EngineHost& engine_;
    int producer_ = -1;
    bool running_ = false;
};

} // namespace vyn
