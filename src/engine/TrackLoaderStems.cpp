// The loader's stem half: stem jobs for a deck's track, splitting during a load, and installing
// finished stems on their deck.

#include "dsp/StemSeparation.h"
#include "dsp/StemSource.h"
#include "engine/EngineHost.h"
#include "engine/TrackLoader.h"
#include "engine/TrackLoaderJobs.h"

namespace vyn {

StemRequestOutcome TrackLoader::requestStems(int deck, bool retry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_ || deck < 0 || deck >= 16) return StemRequestOutcome::Refused;
    if (pendingLoad_[deck] != 0) return StemRequestOutcome::LoadPending;
    const StemBasis& basis = basis_[deck];
    if (!basis.fields || basis.source.expired()) return StemRequestOutcome::NoTrack;
    if (basis.hasStems) return StemRequestOutcome::AlreadySplit;
    if (stemRunning_[deck] && stemTarget_[deck] == basis.serial) return StemRequestOutcome::Running;
    if (failedBasis_[deck] == basis.serial && !retry) return StemRequestOutcome::Failed;

    dropQueued(deck, true);
    auto queued = std::make_unique<Queued>();
    queued->request.kind = 1;
    queued->request.deck = deck;
    queued->request.trackId = basis.fields->id;
    queued->request.audioPath = basis.fields->path;
    queued->request.generation = ++generation_[deck];
    queued->basis = basis;
    currentJob_[deck] = queued->request.generation;
    stopStems_[deck] = false;
    stemRunning_[deck] = true;
    stemTarget_[deck] = basis.serial;
    failedBasis_[deck] = 0;
    stemProgress_[deck] = 0.0f;
    stemError_[deck].clear();
    queue_.push_back(std::move(queued));
    wake_.notify_one();
    return StemRequestOutcome::Submitted;
}

void TrackLoader::cancelStems(int deck) {
    if (deck < 0 || deck >= 16) return;
    std::lock_guard<std::mutex> lock(mutex_);
    stopStems_[deck] = true;
    dropQueued(deck, true);
}

StemJobStatus TrackLoader::stemStatus(int deck) const {
    if (deck < 0 || deck >= 16) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    StemJobStatus s;
    s.running = stemRunning_[deck];
    s.progress = s.running ? std::max(stemProgress_[deck], 0.0f) : -1.0f;
    s.error = stemError_[deck];
    return s;
}

bool TrackLoader::isCurrentJob(int slot, std::uint64_t job) const {
    if (slot < 0 || slot >= 16) return true;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopStems_[slot] || stopping_) return false;
    return currentJob_[slot] == job;
}

void TrackLoader::setStemSetting(std::uint8_t setting) {
    if (setting != 1 && setting != 2) return;
    std::lock_guard<std::mutex> lock(mutex_);
    stemSetting_ = setting;
}

void TrackLoader::setPreferNeural(bool prefer) {
    std::lock_guard<std::mutex> lock(mutex_);
    preferNeural_ = prefer;
}

TrackLoader::StemBasis TrackLoader::basisOf(const LoadedTrack& track) {
    StemBasis b;
    auto fields = std::make_shared<LoadedTrack>(track);
    fields->source.reset();
    b.fields = std::move(fields);
    b.source = track.source;
    b.hasStems = track.hasStems;
    return b;
}

namespace {

// The copy of a track that plays from its stems: everything the deck showed (grid, cues, key)
// stays as it was.
std::unique_ptr<LoadedTrack> stemCopy(const LoadedTrack& fields, StemSet&& stems) {
    auto copy = std::make_unique<LoadedTrack>(fields);
    copy->hasStems = true;
    copy->stemVariant = stems.neural ? 1 : 0;
    copy->source = std::make_shared<StemSource>(std::move(stems));
    return copy;
}

} // namespace

std::unique_ptr<TrackLoader::StemCompletion> TrackLoader::runStemJob(const Queued& queued) {
    const LoadRequest& request = queued.request;
    auto done = std::make_unique<StemCompletion>();
    done->deck = static_cast<std::uint32_t>(request.deck);
    done->job = request.generation;
    done->requestWord = static_cast<std::uint32_t>(request.requestWord);
    done->path = request.audioPath;
    done->basis = queued.basis.serial;
    // Holding the audio keeps it alive for the split even if the deck lets the track go.
    const std::shared_ptr<const SampleSource> source = queued.basis.source.lock();
    if (!source || !queued.basis.fields) {
        done->error = "cancelled"; // the track left the deck before the job started
        return done;
    }
    if (!source->int16Data()) {
        done->error = "that track has no separable audio";
        return done;
    }
    const int deck = request.deck;
    const std::uint64_t job = request.generation;
    SeparationRequest separation;
    separation.pcm = source->int16Data();
    separation.frames = static_cast<std::int64_t>(source->frameCount());
    separation.sampleRate = source->sampleRate();
    separation.path = queued.basis.fields->path;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        separation.preferNeural = preferNeural_;
    }
    separation.isCurrent = [this, deck, job] { return isCurrentJob(deck, job); };
    separation.progress = [this, deck, job](float fraction) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (currentJob_[deck] == job) stemProgress_[deck] = fraction;
    };
    SeparationResult result = separateStems(separation);
    if (!result.ok) {
        done->error = result.error;
        return done;
    }
    done->fromCache = result.fromCache;
    done->neural = result.stems.neural;
    done->stemBytes = result.stems.bytes();
    done->track = stemCopy(*queued.basis.fields, std::move(result.stems));
    done->ok = true;
    return done;
}

void TrackLoader::finishStemJob(std::unique_ptr<StemCompletion> done) {
    std::unique_ptr<LoadedTrack> unwanted;
    std::lock_guard<std::mutex> lock(mutex_);
    const int deck = static_cast<int>(done->deck);
    const bool current = currentJob_[deck] == done->job && !stopStems_[deck];
    if (!current && done->ok) {
        // Superseded while it ran: the stems would land on a track the deck no longer wants.
        unwanted = std::move(done->track);
        done->ok = false;
        done->error = "cancelled";
    }
    if (currentJob_[deck] == done->job) {
        stemRunning_[deck] = false;
        stemProgress_[deck] = -1.0f;
        if (!done->ok) {
            failedBasis_[deck] = done->basis;
            stemError_[deck] = done->error;
        }
    }
    stemDone_.push_back(std::move(done));
}

void TrackLoader::separateDuringLoad(const LoadRequest& request, Job& job, LoadedTrack& track,
                                     std::vector<std::int16_t>& pcm, double sampleRate) {
    const int deck = request.deck;
    const std::uint64_t generation = request.generation;
    SeparationRequest separation;
    separation.pcm = pcm.data();
    separation.frames = static_cast<std::int64_t>(pcm.size() / 2);
    separation.sampleRate = sampleRate;
    separation.path = request.audioPath;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        separation.preferNeural = preferNeural_;
        if (newestLoad_[deck] == generation) {
            stemRunning_[deck] = true;
            stemProgress_[deck] = 0.0f;
            stemError_[deck].clear();
        }
    }
    separation.isCurrent = [this, deck, generation] { return loadIsCurrent(deck, generation); };
    separation.progress = [this, deck, generation](float fraction) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (newestLoad_[deck] == generation) stemProgress_[deck] = fraction;
    };
    SeparationResult result = separateStems(separation);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (newestLoad_[deck] == generation) {
            stemRunning_[deck] = false;
            stemProgress_[deck] = -1.0f;
            // A failed split still loads the track, unsplit; the deck panel shows why.
            if (!result.ok && result.error != "cancelled") stemError_[deck] = result.error;
        }
    }
    if (!result.ok) {
        if (result.error == "cancelled") job.error = "cancelled";
        return;
    }
    job.audioBytes = result.stems.bytes();
    track.hasStems = true;
    track.stemVariant = result.stems.neural ? 1 : 0;
    track.source = std::make_shared<StemSource>(std::move(result.stems));
}

void TrackLoader::pollStems(std::vector<LoadResult>& results) {
    std::deque<std::unique_ptr<StemCompletion>> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done.swap(stemDone_);
    }
    for (auto& d : done) {
        LoadResult r;
        r.kind = 1;
        r.deck = d->deck;
        r.path = d->path;
        r.fromCache = d->fromCache;
        if (!d->ok) {
            r.error = d->error;
            results.push_back(std::move(r));
            continue;
        }
        // The deck that holds the track the stems were split from: normally the job's own, or
        // the one it was swapped to meanwhile.
        int target = -1;
        std::unique_ptr<LoadedTrack> track = std::move(d->track);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (currentJob_[d->deck] == d->job)
                for (int k = 0; k < 16 && target < 0; ++k)
                    if (basis_[(static_cast<int>(d->deck) + k) % 16].serial == d->basis)
                        target = (static_cast<int>(d->deck) + k) % 16;
        }
        if (target < 0) {
            r.error = "cancelled";
            results.push_back(std::move(r));
            continue;
        }
        StemBasis basis = basisOf(*track);
        Command c(CommandType::REPLACE_TRACK, target, 0.0);
        c.reserved = d->requestWord;
        c.track = track.get();
        if (!engine_.push(producer_, c)) {
            r.error = "engine command queue full";
            results.push_back(std::move(r));
            continue;
        }
        track.release(); // the engine owns it now
        {
            std::lock_guard<std::mutex> lock(mutex_);
            decks_[target].hasStems = true;
            decks_[target].audioBytes = d->stemBytes;
            basis_[target] = std::move(basis);
            basis_[target].serial = ++basisSerial_;
        }
        r.deck = static_cast<std::uint32_t>(target);
        r.ok = true;
        results.push_back(std::move(r));
    }
}

} // namespace vyn
