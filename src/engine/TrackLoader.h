#pragma once
// Loads tracks off the audio thread. A worker reads the file, decodes it, attaches the timing data
// the library supplied and builds a LoadedTrack; the thread that owns the engine host polls for
// finished loads and hands each to the engine as LOAD_TRACK through the loader's own producer
// slot. A newer load for a deck supersedes an older one ("cancelled").
//
// Threading: start/stop/poll run on the engine host's owning thread. submit/queueLoad/requestSwap
// and deckInfo may be called from any thread (they take the loader mutex). Workers decode outside
// the mutex.

#include "engine/BeatGrid.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vyn {

class EngineHost;
struct LoadedTrack;
struct Waveform;

struct LoadRequest {
    std::uint8_t kind = 0; // 0 = load a track, 1 = stem job for the deck
    std::uint64_t requestWord = 0;
    std::int32_t deck = -1;
    std::uint32_t commandWord = 0; // ends up in the LOAD_TRACK command's reserved word
    std::uint64_t generation = 0;  // assigned by the loader
    std::int32_t trackId = 0;      // catalogue id; 0 when unknown
    std::string audioPath;
    std::string analysisPath;  // first analysis file (.DAT)
    std::string analysisPath2; // second analysis file (.EXT); derived from the first when empty
    std::string shareSource;   // USB share source text; empty for local files
    std::string shareText;
    int audioFd = -1;
    int analysisFd = -1;
    int analysisFd2 = -1;
    BeatGrid grid;
    std::vector<CueMark> cues;
    std::string keyText;
};

struct LoadResult {
    std::uint32_t deck = 0;
    std::string path;
    bool ok = false;
    std::string error;
};

// What the loader last handed to the engine for one deck (for views and control surfaces).
struct LoadedDeckInfo {
    std::int32_t trackId = 0;
    std::string path;
    std::shared_ptr<const Waveform> waveform;
    std::shared_ptr<const BeatGrid> grid;             // never null once a track was handed over
    std::shared_ptr<const std::vector<CueMark>> cues; // the same
    std::uint64_t audioBytes = 0;
    double sampleRate = 0.0;     // the track's own rate (positions in frames are at this rate)
    std::uint64_t loadCount = 0; // increases with every load handed over for this deck
};

// Hooks the library attaches to the load steps it owns (USB staging, analysis files). Each runs on
// the worker thread. Empty hooks skip their step.
struct LoaderHooks {
    // Step 4: stages `path` to local disk when it lives on a removable drive. Returns the path to
    // decode (the same path when no copy is needed), or empty on failure. `oneShot` is set when
    // the staged copy must be deleted after decoding.
    std::function<std::string(const std::string& path, bool& oneShot)> stageFile;
    // Step 5: reads the analysis files; may fill the waveform, and the grid and cues when the
    // request carries none.
    std::function<void(LoadRequest& request, std::shared_ptr<const Waveform>& waveform)>
        readAnalysis;
};

class TrackLoader {
public:
    explicit TrackLoader(EngineHost& engine);
    ~TrackLoader();
    TrackLoader(const TrackLoader&) = delete;
    TrackLoader& operator=(const TrackLoader&) = delete;

    void start(int workers);
    void stop();

    // Builds a default request for `path` and submits it.
    bool queueLoad(int deck, std::string path);
    // Refused when not running or the deck is not 0-15. Supersedes every earlier request of that
    // deck.
    bool submit(LoadRequest request);
    bool requestSwap(int a, int b);
    // Frees retired tracks, hands finished loads to the engine and returns their results in order.
    void poll(std::vector<LoadResult>& results);

    LoadedDeckInfo deckInfo(int deck) const;
    // Bytes of decoded audio held by the tracks last handed to the engine.
    std::uint64_t loadedAudioBytes() const;

    // Set before start().
    void setHooks(LoaderHooks hooks);

private:
    struct Job;
    void workerLoop();
    void runLoad(LoadRequest& request, Job& job);

    EngineHost& engine_;
    int producer_ = -1;
    LoaderHooks hooks_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool running_ = false;
    std::deque<std::unique_ptr<LoadRequest>> queue_;
    std::uint64_t generation_[16] = {};
    std::vector<std::unique_ptr<Job>> finished_;
    std::vector<std::pair<int, int>> swaps_;
    LoadedDeckInfo decks_[16];
    std::vector<std::thread> workers_;
};

} // namespace vyn
