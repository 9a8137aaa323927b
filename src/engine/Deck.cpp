#include "engine/Deck.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace vyn {

Deck::~Deck() {
    delete releaseTrack();
}

void Deck::prepare(double engineSampleRate, int maxBlock, int index) {
    engineRate_ = engineSampleRate > 0 ? engineSampleRate : 48000.0;
    maxBlock_ = std::clamp(maxBlock, 1, 2048);
    index_ = index;
}

double Deck::sourceSampleRate() const {
    return track_ && track_->source ? track_->source->sampleRate() : 0.0;
}

double Deck::length() const {
    return track_ && track_->source ? static_cast<double>(track_->source->frameCount()) : 0.0;
}

double Deck::audiblePosition() const {
    return std::max(position_ - stretchLatency_, 0.0);
}

LoadedTrack* Deck::releaseTrack() {
    LoadedTrack* t = track_;
    track_ = nullptr;
    return t;
}

void Deck::resetTransport() {
    position_ = 0.0;
    stretchLatency_ = 0.0;
    slipPaused_ = false;
    mainCue_ = 0.0;
    std::fill(std::begin(hotCues_), std::end(hotCues_), -1.0);
    std::fill(std::begin(hotLoopEnds_), std::end(hotLoopEnds_), -1.0);
    loopIn_ = loopOut_ = -1.0;
    looping_ = false;
    keyShift_ = 0;
    keySync_ = false;
    rateTakeover_ = false;
}

void Deck::seek(double frames) {
    position_ = std::clamp(frames, 0.0, length());
    stretchLatency_ = 0.0;
}

double Deck::beatsToFrames(double beats) const {
    const double sr = sourceSampleRate();
    if (!track_ || sr <= 0) return 0.0;
    if (track_->grid.empty()) return beats * 0.5 * sr;
    const double b = track_->grid.beatAt(audiblePosition() / sr);
    return (track_->grid.timeAt(b + beats) - track_->grid.timeAt(b)) * sr;
}

double Deck::quantisedPosition(double p) const {
    const double sr = sourceSampleRate();
    if (!track_ || track_->grid.empty() || sr <= 0) return p;
    const double b = track_->grid.beatAt(p / sr);
    const double nearest = std::round(b);
    const double target = std::fabs(b - nearest) <= 0.001 ? nearest : std::floor(b) + 1.0;
    return std::clamp(track_->grid.timeAt(target) * sr, 0.0, length());
}

void Deck::setLoopIn(double frames) {
    loopIn_ = std::clamp(frames, 0.0, length());
}
void Deck::setLoopOut(double frames) {
    loopOut_ = std::clamp(frames, 0.0, length());
}
void Deck::reloopExit() {}
void Deck::beatLoop(double, bool) {}
void Deck::scaleLoop(double) {}

LoadedTrack* Deck::apply(const Command& c) {
    switch (c.commandType()) {
    case CommandType::LOAD_TRACK: {
        if (c.track == track_) return nullptr;
        LoadedTrack* old = releaseTrack();
        track_ = c.track;
        resetTransport();
        const double sr = sourceSampleRate();
        if (sr > 0) {
            mainCue_ = loadCueTime(track_->cues) * sr;
            position_ = std::clamp(mainCue_, 0.0, length());
            for (const CueMark& m : track_->cues) {
                if ((m.kind == CueKind::HotCue || m.kind == CueKind::Loop) && m.number >= 0 &&
                    m.number < 8) {
                    hotCues_[m.number] = m.start * sr;
                    hotLoopEnds_[m.number] = m.end > m.start ? m.end * sr : -1.0;
                }
            }
        }
        state_ = track_ && track_->source ? DeckState::READY : DeckState::EMPTY;
        return old;
    }
    case CommandType::UNLOAD:
        resetTransport();
        state_ = DeckState::EMPTY;
        return releaseTrack();
    case CommandType::REPLACE_TRACK: {
        LoadedTrack* incoming = c.track;
        if (!incoming || !track_ || !track_->source || !incoming->source ||
            incoming->id != track_->id ||
            incoming->source->frameCount() != track_->source->frameCount() ||
            incoming->source->sampleRate() != track_->source->sampleRate())
            return incoming;
        LoadedTrack* old = track_;
        track_ = incoming;
        return old;
    }
    default:
        break;
    }
    if (empty()) return nullptr;
    switch (c.commandType()) {
    case CommandType::PLAY:
        slipPaused_ = false;
        state_ = DeckState::PLAYING;
        break;
    case CommandType::PAUSE:
        if (state_ == DeckState::PLAYING) state_ = DeckState::PAUSED;
        break;
    case CommandType::SET_PLAYHEAD:
        seek(c.value);
        break;
    case CommandType::SET_RATE: {
        const double r = std::clamp(c.value, 0.25, 4.0);
        if (rateTakeover_ && std::fabs(r - userRate_) > 0.005) break;
        rateTakeover_ = false;
        userRate_ = r;
        rate_ = std::clamp(syncRate_ > 0 ? syncRate_ : r, 0.25, 4.0);
        break;
    }
    case CommandType::SET_TRIM:
        trim_ = static_cast<float>(c.value);
        break;
    case CommandType::SET_FADER:
        fader_ = static_cast<float>(c.value);
        break;
    case CommandType::SET_EQ_LOW:
        eq_[0] = static_cast<float>(c.value);
        break;
    case CommandType::SET_EQ_MID:
        eq_[1] = static_cast<float>(c.value);
        break;
    case CommandType::SET_EQ_HIGH:
        eq_[2] = static_cast<float>(c.value);
        break;
    case CommandType::SET_KEYLOCK:
        keylock_ = c.flag();
        break;
    case CommandType::SET_CUE:
        cue_ = c.flag();
        break;
    case CommandType::SET_KEY_SHIFT:
        keyShift_ = static_cast<int>(std::clamp<long>(std::lround(c.value), -6, 6));
        break;
    default:
        break;
    }
    return nullptr;
}

void Deck::render(float* out, int frames) {
    std::memset(out, 0, sizeof(float) * 2 * static_cast<std::size_t>(std::max(frames, 0)));
    peakLeft_ = peakRight_ = 0.0f;
}

void Deck::fillSnapshot(DeckSnapshot& s) const {
    s = DeckSnapshot{};
    s.state = static_cast<std::uint8_t>(state_);
    s.cue = cue_;
    s.keylock = keylock_;
    s.position = audiblePosition();
    s.rate = rate_;
    s.userRate = userRate_;
    s.length = static_cast<std::uint64_t>(length());
    s.peakLeft = peakLeft_;
    s.peakRight = peakRight_;
    s.mainCue = static_cast<std::uint64_t>(std::max(mainCue_, 0.0));
    const double sr = sourceSampleRate();
    for (int i = 0; i < 8; ++i) {
        if (hotCues_[i] >= 0) s.hotCueMask |= 1 << i;
        s.hotCueSeconds[i] =
            hotCues_[i] >= 0 && sr > 0 ? static_cast<float>(hotCues_[i] / sr) : -1.0f;
    }
    if (track_ && !track_->grid.empty() && sr > 0) {
        const double t = s.position / sr;
        s.hasGrid = true;
        s.beat = track_->grid.beatAt(t);
        s.bpm = static_cast<float>(track_->grid.bpmAt(t));
        s.bar = static_cast<float>(track_->grid.barPhase(t));
    }
    s.looping = looping_;
    if (sr > 0) {
        s.loopInSeconds = loopIn_ >= 0 ? static_cast<float>(loopIn_ / sr) : -1.0f;
        s.loopOutSeconds =
            loopOut_ > loopIn_ && loopIn_ >= 0 ? static_cast<float>(loopOut_ / sr) : -1.0f;
    }
    s.keyShift = keyShift_;
    s.keySync = keySync_;
    s.hasKey = track_ && track_->key.known();
    s.stemsAvailable = track_ && track_->source && track_->source->stemCount() == 4;
    s.stemVariant = track_ ? track_->stemVariant : 0;
}

void Deck::swapWith(Deck& other) noexcept {
    const int mine = index_;
    const int theirs = other.index_;
    // Every member is trivially swappable; the track pointer moves with its transport.
    Deck* a = this;
    Deck* b = &other;
    std::swap(a->engineRate_, b->engineRate_);
    std::swap(a->maxBlock_, b->maxBlock_);
    std::swap(a->state_, b->state_);
    std::swap(a->track_, b->track_);
    std::swap(a->position_, b->position_);
    std::swap(a->stretchLatency_, b->stretchLatency_);
    std::swap(a->rate_, b->rate_);
    std::swap(a->userRate_, b->userRate_);
    std::swap(a->syncRate_, b->syncRate_);
    std::swap(a->rateTakeover_, b->rateTakeover_);
    std::swap(a->keylock_, b->keylock_);
    std::swap(a->keyShift_, b->keyShift_);
    std::swap(a->keySync_, b->keySync_);
    std::swap(a->cue_, b->cue_);
    std::swap(a->trim_, b->trim_);
    std::swap(a->fader_, b->fader_);
    std::swap(a->eq_, b->eq_);
    std::swap(a->slipPaused_, b->slipPaused_);
    std::swap(a->mainCue_, b->mainCue_);
    std::swap(a->hotCues_, b->hotCues_);
    std::swap(a->hotLoopEnds_, b->hotLoopEnds_);
    std::swap(a->loopIn_, b->loopIn_);
    std::swap(a->loopOut_, b->loopOut_);
    std::swap(a->looping_, b->looping_);
    std::swap(a->peakLeft_, b->peakLeft_);
    std::swap(a->peakRight_, b->peakRight_);
    index_ = mine;
    other.index_ = theirs;
}

} // namespace vyn
