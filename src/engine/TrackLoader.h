#pragma once
// Loads tracks off the audio thread. A worker reads the file, decodes it, attaches the timing data
// the library supplied and builds a LoadedTrack; the thread that owns the engine host polls for
// finished loads and hands each to the engine as LOAD_TRACK through the loader's own producer
// slot. A newer load for a deck supersedes an older one ("cancelled"). A held load (a set replay
// decoding ahead) waits after decoding until it is released, so it reaches its deck at the frame
// it was recorded at rather than whenever decoding ends.
//
// The same worker splits tracks into stems. A stem job (requestStems, or a request of kind 1)
// splits the track the loader last handed to a deck and poll() installs the stem-carrying copy
// with REPLACE_TRACK, so the deck plays on without a jump; with the stem setting 2 every load is
// split before it reaches the deck. Splits are served from the stem cache when it is set up
// (StemCache.h).
//
// Threading: start/stop/poll run on the engine host's owning thread. submit/queueLoad/requestSwap,
// release/releasePending/dropHeld, the stem calls and deckInfo may be called from any thread (they
// take the loader mutex). Workers decode and separate outside the mutex.

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
class SampleSource;
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
    bool hold = false; // decode now, hand over only once release() names the deck
};

struct LoadResult {
    std::uint32_t deck = 0;
    std::string path;
    bool ok = false;
    std::string error;
    std::uint8_t kind = 0;  // 0 a load, 1 a stem job (ok: the stems went to the deck)
    bool fromCache = false; // a stem job served from the stem cache
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
    bool hasStems = false;       // the track plays from stems (its waveform stays the same)
};

// What requestStems() did.
enum class StemRequestOutcome {
    Submitted,    // a stem job was queued
    Running,      // a job for this deck's track is already queued or running
    AlreadySplit, // the deck's track has stems
    Failed,       // the last job for this track failed (stemStatus() says why); retry to resubmit
    LoadPending,  // a newer track is on its way to the deck: ask again once it has arrived
    NoTrack,      // the loader has handed this deck no track (or it was unloaded since)
    Refused,      // the loader is not running or the deck is not 0-15
};

// A deck's stem job, for the deck panel ("STEMS 43 %", or the error of a failed job).
struct StemJobStatus {
    bool running = false;   // queued, splitting, or splitting during a load
    float progress = -1.0f; // 0..1 while running; -1 otherwise
    std::string error;      // why the last job for the deck's track failed; empty otherwise
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
    // Refused when not running or the deck is not 0-15. A load supersedes every earlier request
    // of that deck (stem jobs included); a request of kind 1 is requestStems(deck, true).
    bool submit(LoadRequest request);
    bool requestSwap(int a, int b);
    // Lets the deck's held load go to the engine at the next poll (or the first poll after it
    // finishes decoding). False when the deck has no held load (none submitted, or it failed).
    bool release(int deck);
    // True while a released load has neither been handed to the engine nor failed.
    bool releasePending(int deck) const;
    // Discards every held load that was not released yet (a replay that ends or starts over).
    void dropHeld();
    // Frees retired tracks, hands finished loads to the engine and returns their results in order.
    void poll(std::vector<LoadResult>& results);

    // Stems for the track the loader last handed to `deck`: the application calls this when it
    // sees stems switched on (snapshot: stemsOn) for a deck whose track has none (stemsAvailable
    // false), from whichever control switched them on. Calling it again while the job runs, or
    // after it failed, changes nothing; `retry` resubmits after a failure (an explicit switch-on).
    // A newer load for the deck cancels the job. The outcome arrives from poll() as a LoadResult
    // of kind 1, after the stems were sent to the deck as REPLACE_TRACK.
    StemRequestOutcome requestStems(int deck, bool retry = false);
    // Stops the deck's stem job at its next progress report; it ends "cancelled".
    void cancelStems(int deck);
    StemJobStatus stemStatus(int deck) const;
    // True when `slot` is outside 0-15; false once the slot's stem job was cancelled; otherwise
    // whether `job` is still the slot's newest request.
    bool isCurrentJob(int slot, std::uint64_t job) const;
    // 1 (the default) plays loads as decoded; 2 splits every load into stems before it reaches
    // the deck (the stemsOnLoad setting). Other values are ignored.
    void setStemSetting(std::uint8_t setting);
    // Splits with a registered neural separator when one is available (StemSeparation.h).
    void setPreferNeural(bool prefer);

    LoadedDeckInfo deckInfo(int deck) const;
    // Bytes of decoded audio held by the tracks last handed to the engine.
    std::uint64_t loadedAudioBytes() const;

    // Set before start().
    void setHooks(LoaderHooks hooks);

private:
    // The track last handed to a deck as a stem job needs it: its fields without the audio, and
    // a weak hold on the audio (a deck that let the track go frees it).
    struct StemBasis {
        std::shared_ptr<const LoadedTrack> fields;
        std::weak_ptr<const SampleSource> source;
        std::uint64_t serial = 0;
        bool hasStems = false;
    };
    struct Queued {
        LoadRequest request;
        StemBasis basis; // stem jobs: the track to split
    };
    struct Job;
    struct StemCompletion;

    void workerLoop();
    void runLoad(LoadRequest& request, Job& job);
    void separateDuringLoad(const LoadRequest& request, Job& job, LoadedTrack& track,
                            std::vector<std::int16_t>& pcm, double sampleRate);
    std::unique_ptr<StemCompletion> runStemJob(const Queued& job);
    void finishStemJob(std::unique_ptr<StemCompletion> done);
    // Under the mutex: removes the deck's queued requests (stem jobs only, or all) and reports
    // each as cancelled.
    void dropQueued(int deck, bool stemJobsOnly);
    void pollStems(std::vector<LoadResult>& results);
    StemBasis basisOf(const LoadedTrack& track);
    bool loadIsCurrent(int deck, std::uint64_t generation) const;

    EngineHost& engine_;
    int producer_ = -1;
    LoaderHooks hooks_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool running_ = false;
    bool stopping_ = false;
    std::deque<std::unique_ptr<Queued>> queue_;
    std::uint64_t generation_[16] = {};         // per deck: the last identity handed out
    std::uint64_t currentJob_[16] = {};         // per deck: the newest request of either kind
    std::uint64_t newestLoad_[16] = {};         // per deck: the newest load
    std::uint64_t pendingLoad_[16] = {};        // per deck: a load not yet handed over (0: none)
    std::uint64_t heldGeneration_[16] = {};     // a held load submitted, not yet released
    std::uint64_t releasedGeneration_[16] = {}; // a released load not yet handed over
    std::vector<std::unique_ptr<Job>> finished_;
    std::vector<std::pair<int, int>> swaps_;
    LoadedDeckInfo decks_[16];
    std::vector<std::thread> workers_;

    // Stems, per deck.
    StemBasis basis_[16];
    std::uint64_t basisSerial_ = 0;
    bool stopStems_[16] = {};
    bool stemRunning_[16] = {};
    std::uint64_t stemTarget_[16] = {}; // basis serial of the queued or running job
    std::uint64_t failedBasis_[16] = {};
    float stemProgress_[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::string stemError_[16];
    std::deque<std::unique_ptr<StemCompletion>> stemDone_;
    std::uint8_t stemSetting_ = 1;
    bool preferNeural_ = false;
};

} // namespace vyn
