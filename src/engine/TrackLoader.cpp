#include "engine/TrackLoader.h"

#include "audio/AudioDecoder.h"
#include "audio/Int16Source.h"
#include "dsp/KeyNotation.h"
#include "dsp/Waveform.h"
#include "engine/EngineHost.h"
#include "engine/LoadedTrack.h"
#include "engine/TrackLoaderJobs.h"
#include "support/FileDescriptor.h"
#include "support/FileIo.h"

#include <algorithm>
#include <cstdio>

namespace vyn {

namespace {

void closeRequestDescriptors(LoadRequest& r) {
    closeDescriptor(r.audioFd);
    closeDescriptor(r.analysisFd);
    closeDescriptor(r.analysisFd2);
    r.audioFd = r.analysisFd = r.analysisFd2 = -1;
}

} // namespace

TrackLoader::TrackLoader(EngineHost& engine)
    : engine_(engine), producer_(engine.acquireProducer()) {}

TrackLoader::~TrackLoader() {
    stop();
    for (auto& q : queue_)
        closeRequestDescriptors(q->request);
}

void TrackLoader::setHooks(LoaderHooks hooks) {
    std::lock_guard<std::mutex> lock(mutex_);
    hooks_ = std::move(hooks);
}

void TrackLoader::start(int workers) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) return;
    running_ = true;
    stopping_ = false;
    for (int i = 0; i < std::max(workers, 1); ++i)
        workers_.emplace_back([this] { workerLoop(); });
}

void TrackLoader::stop() {
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
        // A split in progress stops at its next progress report.
        stopping_ = true;
        workers.swap(workers_);
    }
    wake_.notify_all();
    for (std::thread& t : workers)
        if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
}

bool TrackLoader::queueLoad(int deck, std::string path) {
    LoadRequest r;
    r.deck = deck;
    r.audioPath = std::move(path);
    return submit(std::move(r));
}

bool TrackLoader::submit(LoadRequest request) {
    if (request.kind == 1) {
        closeRequestDescriptors(request);
        return requestStems(request.deck, true) == StemRequestOutcome::Submitted;
    }
    // Superseded tracks are destroyed after the lock is released: freeing a long track is slow.
    std::vector<std::unique_ptr<LoadedTrack>> superseded;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_ || request.deck < 0 || request.deck >= 16) {
        closeRequestDescriptors(request);
        return false;
    }
    const int deck = request.deck;
    request.generation = ++generation_[deck];
    // A newer load also ends the deck's stem job: it would split the track being replaced.
    currentJob_[deck] = newestLoad_[deck] = pendingLoad_[deck] = request.generation;
    stemRunning_[deck] = false;
    stemProgress_[deck] = -1.0f;
    stemError_[deck].clear();
    heldGeneration_[deck] = request.hold ? request.generation : 0;
    releasedGeneration_[deck] = 0;
    // A load that finished but was not handed to the engine yet would only be replaced at once.
    for (auto& job : finished_) {
        if (job->deck != static_cast<std::uint32_t>(deck) || !job->ok) continue;
        job->ok = false;
        job->error = "cancelled";
        superseded.push_back(std::move(job->track));
    }
    // Requests still waiting for this deck are superseded: they report "cancelled" at once.
    dropQueued(deck, false);
    auto queued = std::make_unique<Queued>();
    queued->request = std::move(request);
    queue_.push_back(std::move(queued));
    wake_.notify_one();
    return true;
}

void TrackLoader::dropQueued(int deck, bool stemJobsOnly) {
    for (auto it = queue_.begin(); it != queue_.end();) {
        LoadRequest& r = (*it)->request;
        if (r.deck != deck || (stemJobsOnly && r.kind != 1)) {
            ++it;
            continue;
        }
        if (r.kind == 1) {
            auto done = std::make_unique<StemCompletion>();
            done->deck = static_cast<std::uint32_t>(deck);
            done->job = r.generation;
            done->requestWord = static_cast<std::uint32_t>(r.requestWord);
            done->path = r.audioPath;
            done->error = "cancelled";
            stemDone_.push_back(std::move(done));
        } else {
            closeRequestDescriptors(r);
            auto job = std::make_unique<Job>();
            job->deck = static_cast<std::uint32_t>(deck);
            job->generation = r.generation;
            job->path = r.audioPath;
            job->error = "cancelled";
            finished_.push_back(std::move(job));
        }
        it = queue_.erase(it);
    }
}

bool TrackLoader::requestSwap(int a, int b) {
    if (a == b || a < 0 || a >= 16 || b < 0 || b >= 16) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    swaps_.emplace_back(a, b);
    return true;
}

bool TrackLoader::release(int deck) {
    if (deck < 0 || deck >= 16) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (heldGeneration_[deck] == 0) return false;
    releasedGeneration_[deck] = heldGeneration_[deck];
    heldGeneration_[deck] = 0;
    return true;
}

bool TrackLoader::releasePending(int deck) const {
    if (deck < 0 || deck >= 16) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return releasedGeneration_[deck] != 0;
}

void TrackLoader::dropHeld() {
    std::vector<std::unique_ptr<Job>> dropped; // freed after the lock is released
    std::lock_guard<std::mutex> lock(mutex_);
    for (int deck = 0; deck < 16; ++deck) {
        if (heldGeneration_[deck] == 0) continue;
        if (pendingLoad_[deck] == heldGeneration_[deck]) pendingLoad_[deck] = 0;
        heldGeneration_[deck] = 0;
        // A held load still decoding finishes as "cancelled".
        newestLoad_[deck] = currentJob_[deck] = ++generation_[deck];
    }
    for (auto it = queue_.begin(); it != queue_.end();) {
        const LoadRequest& r = (*it)->request;
        if (!r.hold || r.kind == 1 || releasedGeneration_[r.deck] == r.generation) {
            ++it;
            continue;
        }
        closeRequestDescriptors((*it)->request);
        it = queue_.erase(it);
    }
    for (auto it = finished_.begin(); it != finished_.end();) {
        const Job& job = **it;
        if (!job.hold || releasedGeneration_[job.deck] == job.generation) {
            ++it;
            continue;
        }
        dropped.push_back(std::move(*it));
        it = finished_.erase(it);
    }
}

bool TrackLoader::loadIsCurrent(int deck, std::uint64_t generation) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !stopping_ && newestLoad_[deck] == generation;
}

void TrackLoader::workerLoop() {
    for (;;) {
        std::unique_ptr<Queued> queued;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return !running_ || !queue_.empty(); });
            if (!running_) return;
            queued = std::move(queue_.front());
            queue_.pop_front();
        }
        if (queued->request.kind == 1) {
            finishStemJob(runStemJob(*queued));
            continue;
        }
        LoadRequest& request = queued->request;
        auto job = std::make_unique<Job>();
        job->deck = static_cast<std::uint32_t>(request.deck);
        job->generation = request.generation;
        job->commandWord = request.commandWord;
        job->path = request.audioPath;
        job->hold = request.hold;
        runLoad(request, *job);
        closeRequestDescriptors(request);
        std::lock_guard<std::mutex> lock(mutex_);
        if (newestLoad_[job->deck] != job->generation) {
            // A newer load for this deck arrived while this one decoded.
            job->ok = false;
            job->error = "cancelled";
            job->track.reset();
        }
        finished_.push_back(std::move(job));
    }
}

void TrackLoader::runLoad(LoadRequest& request, Job& job) {
    if (!request.shareSource.empty()) {
        // No component of this system provides USB shares.
        job.error = "USB share is not connected";
        return;
    }
    LoaderHooks hooks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hooks = hooks_;
    }
    std::string decodePath = request.audioPath;
    bool oneShot = false;
    if (request.audioFd < 0 && hooks.stageFile) {
        decodePath = hooks.stageFile(request.audioPath, oneShot);
        if (decodePath.empty()) {
            job.error =
                "could not copy the track off the USB stick while the mixer is using that bus";
            return;
        }
    }
    std::shared_ptr<const Waveform> waveform;
    if (hooks.readAnalysis) hooks.readAnalysis(request, waveform);
    closeDescriptor(request.analysisFd);
    closeDescriptor(request.analysisFd2);
    request.analysisFd = request.analysisFd2 = -1;

    DecodeResult decoded;
    if (request.audioFd >= 0) {
        decoded = decodeDescriptor(request.audioFd);
        closeDescriptor(request.audioFd);
        request.audioFd = -1;
    } else {
        decoded = decodeFile(decodePath);
    }
    if (oneShot) removeFile(decodePath);
    if (!decoded.ok) {
        job.error = decoded.error;
        return;
    }
    if (decoded.frames == 0 || decoded.samples.size() < 2) {
        job.error = "file decoded to zero frames";
        return;
    }
    if (!waveform)
        waveform = std::make_shared<const Waveform>(analyseWaveform(
            decoded.samples.data(), decoded.samples.size() / 2, decoded.sampleRate, 150.0));

    auto track = std::make_unique<LoadedTrack>();
    track->id = request.trackId;
    track->path = request.audioPath;
    track->grid = std::move(request.grid);
    track->cues = std::move(request.cues);
    track->key = parseKeyNotation(request.keyText);
    job.grid = std::make_shared<const BeatGrid>(track->grid);
    job.cues = std::make_shared<const std::vector<CueMark>>(track->cues);
    job.audioBytes = static_cast<std::uint64_t>(decoded.samples.size()) * sizeof(std::int16_t);
    job.sampleRate = decoded.sampleRate;
    std::uint8_t stemSetting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stemSetting = stemSetting_;
    }
    if (stemSetting == 2) {
        separateDuringLoad(request, job, *track, decoded.samples, decoded.sampleRate);
        if (!job.error.empty()) return;
    }
    if (!track->source) track->source = std::make_unique<Int16Source>(std::move(decoded));
    job.track = std::move(track);
    job.waveform = std::move(waveform);
    job.ok = true;
}

void TrackLoader::poll(std::vector<LoadResult>& results) {
    results.clear();
    std::vector<LoadedTrack*> retired;
    engine_.drainRetired(retired);
    for (LoadedTrack* t : retired)
        EngineHost::destroyTrack(t);

    std::vector<std::unique_ptr<Job>> finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Held loads stay until released; the rest leave in the order they finished.
        for (auto& job : finished_) {
            const bool waiting =
                job->hold && job->ok && releasedGeneration_[job->deck] != job->generation;
            if (waiting) continue;
            if (job->hold) {
                if (heldGeneration_[job->deck] == job->generation) heldGeneration_[job->deck] = 0;
                if (releasedGeneration_[job->deck] == job->generation)
                    releasedGeneration_[job->deck] = 0;
            }
            finished.push_back(std::move(job));
        }
        finished_.erase(std::remove(finished_.begin(), finished_.end(), nullptr), finished_.end());
    }
    for (auto& job : finished) {
        LoadResult r;
        r.deck = job->deck;
        r.path = job->path;
        if (!job->ok) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pendingLoad_[job->deck] == job->generation) pendingLoad_[job->deck] = 0;
            r.error = job->error;
            results.push_back(std::move(r));
            continue;
        }
        const StemBasis basis = basisOf(*job->track);
        Command c(CommandType::LOAD_TRACK, static_cast<int>(job->deck), 0.0);
        c.reserved = job->commandWord;
        c.track = job->track.get();
        const bool pushed = engine_.push(producer_, c);
        std::lock_guard<std::mutex> lock(mutex_);
        if (pendingLoad_[job->deck] == job->generation) pendingLoad_[job->deck] = 0;
        if (!pushed) {
            job->track.reset();
            r.error = "engine command queue full";
            results.push_back(std::move(r));
            continue;
        }
        const std::int32_t trackId = job->track->id;
        job->track.release(); // the engine owns it now
        LoadedDeckInfo& info = decks_[job->deck];
        info.trackId = trackId;
        info.path = job->path;
        info.waveform = job->waveform;
        info.grid = job->grid;
        info.cues = job->cues;
        info.audioBytes = job->audioBytes;
        info.sampleRate = job->sampleRate;
        info.hasStems = basis.hasStems;
        ++info.loadCount;
        basis_[job->deck] = basis;
        basis_[job->deck].serial = ++basisSerial_;
        r.ok = true;
        results.push_back(std::move(r));
    }
    pollStems(results);

    std::vector<std::pair<int, int>> swaps;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        swaps.swap(swaps_);
    }
    for (const auto& [a, b] : swaps) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::swap(decks_[a], decks_[b]);
            std::swap(basis_[a], basis_[b]);
            ++decks_[a].loadCount;
            ++decks_[b].loadCount;
        }
        if (!engine_.push(producer_, Command(CommandType::SWAP_DECKS, a, b))) {
            LoadResult r;
            r.deck = static_cast<std::uint32_t>(a);
            r.error = "engine command queue full";
            results.push_back(std::move(r));
        }
    }
}

LoadedDeckInfo TrackLoader::deckInfo(int deck) const {
    if (deck < 0 || deck >= 16) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    return decks_[deck];
}

std::uint64_t TrackLoader::loadedAudioBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::uint64_t total = 0;
    for (const LoadedDeckInfo& d : decks_)
        total += d.audioBytes;
    return total;
}

} // namespace vyn
