#include "engine/Deck.h"

#include "dsp/KeyShift.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace vyn {
namespace {

constexpr double kMinRate = 0.25;
constexpr double kMaxRate = 4.0;
constexpr double kMaxJogSpeed = 4.0;
constexpr double kTakeoverWindow = 0.005;
constexpr double kMovementThreshold = 0.001;
constexpr double kStretchEnterEpsilon = 0.001;
constexpr double kStretchLeaveEpsilon = 0.0001;
constexpr double kAdjustTimeoutSeconds = 10.0;
constexpr double kTouchedJogHoldSeconds = 0.12;
constexpr double kFreeJogHoldSeconds = 0.04;
constexpr double kRingHoldSeconds = 0.12;
constexpr double kStemSeconds = 0.015;

// A hot-cue index from a command value; -1 when it is not 0-7.
int cueIndex(double value) {
    if (!(value > -0.5 && value < 7.5)) return -1;
    return static_cast<int>(std::lround(value));
}

std::int64_t holdFrames(double seconds, double engineRate) {
    return static_cast<std::int64_t>(std::ceil(seconds * engineRate));
}

// Moves a smoothed parameter `samples` steps on and returns where it ends.
float advance(SmoothedParameter& p, int samples) {
    for (int i = 0; i < samples && !p.settled(); ++i)
        p.next();
    return p.current;
}

} // namespace

Deck::Deck() = default;

Deck::~Deck() {
    delete f_.track;
}

void Deck::prepare(double engineSampleRate, int maxBlock, int index) {
    engineRate_ = engineSampleRate > 0 ? engineSampleRate : 48000.0;
    maxBlock_ = std::clamp(maxBlock, 1, 2048);
    index_ = index;
    f_.strip.prepare(engineRate_);

    f_.stretch.prepare(engineRate_, maxBlock_, index);
    f_.stretch.select(sound_.keylockQuality, false);
    f_.stretchScratchFrames = f_.stretch.inputFramesPerBlock();
    f_.stretchScratch.assign(2 * static_cast<std::size_t>(f_.stretchScratchFrames), 0.0f);
    f_.reader.prepare(static_cast<int>(std::ceil(2.0 * f_.stretchScratchFrames)) + 8);
    f_.stretchMode = false;
    f_.stretchLatency = 0.0;

    // A re-prepare at another rate keeps the stem mix the user set, settled.
    for (SmoothedParameter& g : f_.stemGains) {
        g.setTime(engineRate_, kStemSeconds);
        g.snap(g.target);
    }
    f_.stemMix.setTime(engineRate_, kStemSeconds);
    f_.stemMix.snap(f_.stemsOn ? 1.0f : 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Readings

double Deck::sourceSampleRate() const {
    return hasSource() ? f_.track->source->sampleRate() : 0.0;
}

double Deck::length() const {
    return hasSource() ? static_cast<double>(f_.track->source->frameCount()) : 0.0;
}

double Deck::sourceRatio() const {
    const double sr = sourceSampleRate();
    return sr > 0 && engineRate_ > 0 ? sr / engineRate_ : 1.0;
}

double Deck::audiblePosition() const {
    double p = f_.position - f_.stretchLatency;
    // Right after a wrap the stretcher still holds the end of the loop: that is what sounds.
    if (f_.stretchLatency > 0 && f_.looping && f_.loopIn >= 0 && f_.loopOut > f_.loopIn &&
        f_.position >= f_.loopIn && p < f_.loopIn)
        p = f_.loopOut - std::fmod(f_.loopIn - p, f_.loopOut - f_.loopIn);
    return std::max(p, 0.0);
}

bool Deck::hasGrid() const {
    return f_.track && !f_.track->grid.empty();
}

double Deck::gridBpm() const {
    return hasGrid() ? f_.track->grid.bpm : 0.0;
}

double Deck::localBpm() const {
    const double sr = sourceSampleRate();
    return hasGrid() && sr > 0 ? f_.track->grid.bpmAt(audiblePosition() / sr) : 0.0;
}

double Deck::beatPosition() const {
    const double sr = sourceSampleRate();
    return hasGrid() && sr > 0 ? f_.track->grid.beatAt(audiblePosition() / sr) : 0.0;
}

double Deck::barPhase() const {
    const double sr = sourceSampleRate();
    return hasGrid() && sr > 0 ? f_.track->grid.barPhase(audiblePosition() / sr) : 0.0;
}

bool Deck::jogging() const {
    const bool top = f_.topHold > 0 && std::fabs(f_.topSpeed) > kMovementThreshold;
    const bool ring = f_.ringHold > 0 && std::fabs(f_.ringSpeed) > kMovementThreshold;
    return f_.jogTouched || top || ring;
}

double Deck::beatsToFramesFrom(double position, double beats) const {
    const double sr = sourceSampleRate();
    if (!hasSource() || sr <= 0) return 0.0;
    if (!hasGrid()) return beats * 0.5 * sr;
    const BeatGrid& g = f_.track->grid;
    const double b = g.beatAt(position / sr);
    return (g.timeAt(b + beats) - g.timeAt(b)) * sr;
}

double Deck::beatsToFrames(double beats) const {
    return beatsToFramesFrom(audiblePosition(), beats);
}

double Deck::quantisedPosition(double p) const {
    const double sr = sourceSampleRate();
    if (!hasGrid() || sr <= 0) return p;
    const BeatGrid& g = f_.track->grid;
    const double b = g.beatAt(p / sr);
    const double nearest = std::round(b);
    const double target = std::fabs(b - nearest) <= 0.001 ? nearest : std::floor(b) + 1.0;
    return std::clamp(g.timeAt(target) * sr, 0.0, length());
}

double Deck::minimumLoopLength() const {
    if (!hasSource()) return 64.0;
    const double sr = sourceSampleRate();
    if (hasGrid() && sr > 0) {
        const BeatGrid& g = f_.track->grid;
        const double b = g.beatAt(audiblePosition() / sr);
        const double frames = (g.timeAt(b + 0.03125) - g.timeAt(b)) * sr;
        if (frames > 32.0) return frames;
    }
    return sr > 0 ? std::max(sr * 0.005, 32.0) : 64.0;
}

bool Deck::loopValid() const {
    return hasSource() && f_.loopIn >= 0 && f_.loopOut - f_.loopIn >= minimumLoopLength();
}

// ---------------------------------------------------------------------------------------------
// Load, unload, replace

void Deck::clearJog() {
    f_.jogTouched = false;
    f_.topSpeed = f_.ringSpeed = 0.0;
    f_.topHold = f_.ringHold = 0;
}

void Deck::clearCueState() {
    std::fill(std::begin(f_.hotCues), std::end(f_.hotCues), -1.0);
    std::fill(std::begin(f_.hotLoopEnds), std::end(f_.hotLoopEnds), -1.0);
    f_.mainCue = 0.0;
    f_.preview = false;
    f_.loopIn = f_.loopOut = -1.0;
    f_.looping = false;
    f_.adjustEdge = 0;
    f_.adjustCounter = 0;
    f_.activeLoopHotCue = -1;
}

void Deck::clearSlip() {
    f_.slipMode = false;
    f_.slipActive = false;
    f_.slipPaused = false;
    f_.heldHotCue = -1;
    f_.hotLoopHeld = false;
}

LoadedTrack* Deck::load(LoadedTrack* track) {
    LoadedTrack* retired = nullptr;
    if (track != f_.track) {
        retired = f_.track;
        f_.track = track;
    }
    f_.position = 0.0;
    f_.stretchLatency = 0.0;
    f_.stretchMode = false;
    f_.strip.resetBands(); // no EQ ringing carried over from the previous track
    f_.stretch.reset();
    clearJog();
    clearCueState();
    // A shadow left running by slip reverse would otherwise survive into the new track.
    clearSlip();
    f_.reverse = f_.slipReverse = false;
    f_.keyShift = 0;
    f_.pitchFactor = 1.0;
    f_.keySync = false;
    f_.rateTakeover = false;
    f_.key = f_.track ? f_.track->key : KeyCode{};
    const double sr = sourceSampleRate();
    if (sr > 0) {
        f_.mainCue = loadCueTime(f_.track->cues) * sr;
        f_.position = std::clamp(f_.mainCue, 0.0, length());
        for (const CueMark& m : f_.track->cues) {
            if ((m.kind != CueKind::HotCue && m.kind != CueKind::Loop) || m.number < 0 ||
                m.number > 7)
                continue;
            f_.hotCues[m.number] = m.start * sr;
            f_.hotLoopEnds[m.number] = m.end > m.start ? m.end * sr : -1.0;
        }
    }
    f_.state = hasSource() ? DeckState::READY : DeckState::EMPTY;
    return retired;
}

LoadedTrack* Deck::unload() {
    LoadedTrack* retired = f_.track;
    f_.track = nullptr;
    f_.position = 0.0;
    f_.stretchLatency = 0.0;
    f_.stretchMode = false;
    f_.stretch.reset();
    f_.state = DeckState::EMPTY;
    clearJog();
    clearCueState();
    clearSlip();
    f_.reverse = f_.slipReverse = false;
    f_.keyShift = 0;
    f_.pitchFactor = 1.0;
    f_.keySync = false;
    f_.key = KeyCode{};
    f_.strip.clearPeaks();
    return retired;
}

LoadedTrack* Deck::replace(LoadedTrack* incoming) {
    // The same object again is already in place: retiring it would free what still plays.
    if (incoming == f_.track) return nullptr;
    if (!incoming || !hasSource() || !incoming->source || incoming->id != f_.track->id ||
        incoming->source->frameCount() != f_.track->source->frameCount() ||
        incoming->source->sampleRate() != f_.track->source->sampleRate())
        return incoming;
    LoadedTrack* old = f_.track;
    f_.track = incoming;
    return old;
}

// ---------------------------------------------------------------------------------------------
// Commands

LoadedTrack* Deck::apply(const Command& c) {
    switch (c.commandType()) {
    case CommandType::LOAD_TRACK:
        return load(c.track);
    case CommandType::UNLOAD:
        return unload();
    case CommandType::REPLACE_TRACK:
        return replace(c.track);
    // Settings that belong to the channel rather than the track apply to an empty deck too.
    case CommandType::SET_RATE: {
        const double r = std::clamp(c.value, kMinRate, kMaxRate);
        if (f_.rateTakeover && std::fabs(r - f_.userRate) > kTakeoverWindow) break;
        f_.rateTakeover = false;
        f_.userRate = r;
        f_.rate = std::clamp(f_.syncRate > 0 ? f_.syncRate : r, kMinRate, kMaxRate);
        break;
    }
    case CommandType::SET_TRIM:
        f_.strip.setTrim(static_cast<float>(c.value));
        break;
    case CommandType::SET_FADER:
        f_.strip.setFader(static_cast<float>(c.value));
        break;
    case CommandType::SET_EQ_LOW:
        f_.strip.setEqLow(static_cast<float>(c.value));
        break;
    case CommandType::SET_EQ_MID:
        f_.strip.setEqMid(static_cast<float>(c.value));
        break;
    case CommandType::SET_EQ_HIGH:
        f_.strip.setEqHigh(static_cast<float>(c.value));
        break;
    case CommandType::SET_KEYLOCK:
        f_.keylock = c.flag();
        break;
    case CommandType::SET_CUE:
        f_.cue = c.flag();
        break;
    case CommandType::SET_STEM_DRUMS:
    case CommandType::SET_STEM_BASS:
    case CommandType::SET_STEM_VOCALS:
    case CommandType::SET_STEM_OTHER: {
        const int stem = c.type - static_cast<std::uint16_t>(CommandType::SET_STEM_DRUMS);
        f_.stemGains[stem].target = static_cast<float>(std::clamp(c.value, 0.0, 4.0));
        break;
    }
    case CommandType::SET_STEMS:
        f_.stemsOn = c.flag();
        f_.stemMix.target = f_.stemsOn ? 1.0f : 0.0f;
        break;
    default:
        if (hasSource()) applyTransport(c);
        break;
    }
    return nullptr;
}

void Deck::applyTransport(const Command& c) {
    switch (c.commandType()) {
    case CommandType::PLAY:
        f_.slipPaused = false;
        if (f_.slipActive && !f_.slipReverse && slipReturnHolds())
            returnToShadow();
        else
            f_.state = DeckState::PLAYING;
        break;
    case CommandType::PAUSE:
        if (f_.state != DeckState::PLAYING) break;
        if (f_.slipMode) {
            startShadow();
            f_.slipPaused = true;
        }
        f_.state = DeckState::PAUSED;
        break;
    case CommandType::SET_PLAYHEAD:
        seek(c.value);
        break;
    case CommandType::CUE_DOWN:
        cueDown();
        break;
    case CommandType::CUE_UP:
        cueUp();
        break;
    case CommandType::SET_HOT_CUE:
        setHotCue(cueIndex(c.value));
        break;
    case CommandType::JUMP_HOT_CUE:
        jumpHotCue(cueIndex(c.value));
        break;
    case CommandType::HOT_CUE_UP:
        hotCueUp(cueIndex(c.value));
        break;
    case CommandType::CLEAR_HOT_CUE: {
        const int i = cueIndex(c.value);
        if (i < 0) break;
        f_.hotCues[i] = f_.hotLoopEnds[i] = -1.0;
        if (f_.activeLoopHotCue == i) f_.activeLoopHotCue = -1;
        break;
    }
    case CommandType::LOOP_ADJUST: {
        const double sr = sourceSampleRate();
        if (sr > 0) moveAdjustEdge(c.value / 75.0 * sr);
        break;
    }
    case CommandType::BEAT_JUMP:
        beatJump(c.value);
        break;
    case CommandType::SET_SLIP:
        setSlip(c.flag());
        break;
    case CommandType::SET_REVERSE:
        setReverse(c.flag());
        break;
    case CommandType::SET_SLIP_REVERSE:
        setSlipReverse(c.flag());
        break;
    case CommandType::JOG_TOUCH:
        jogTouch(c.flag());
        break;
    case CommandType::JOG:
        f_.topSpeed = std::clamp(c.value, -kMaxJogSpeed, kMaxJogSpeed);
        f_.topHold = c.value != 0.0
                         ? holdFrames(f_.jogTouched ? kTouchedJogHoldSeconds : kFreeJogHoldSeconds,
                                      engineRate_)
                         : 0;
        break;
    case CommandType::JOG_RING:
        f_.ringSpeed = std::clamp(c.value, -kMaxJogSpeed, kMaxJogSpeed);
        f_.ringHold = c.value != 0.0 ? holdFrames(kRingHoldSeconds, engineRate_) : 0;
        break;
    case CommandType::SET_KEY_SHIFT:
        setKeyShift(keyShiftFromValue(c.value));
        break;
    case CommandType::LOOP_IN:
        setLoopIn(audiblePosition());
        break;
    case CommandType::LOOP_OUT:
        setLoopOut(audiblePosition());
        break;
    case CommandType::RELOOP_EXIT:
        reloopExit();
        break;
    case CommandType::BEAT_LOOP:
        beatLoop(c.value, false);
        break;
    case CommandType::LOOP_HALVE:
        scaleLoop(0.5);
        break;
    case CommandType::LOOP_DOUBLE:
        scaleLoop(2.0);
        break;
    default:
        break; // types above the last ordinal and engine-level types do nothing here
    }
}

void Deck::seek(double frames) {
    f_.position = std::clamp(frames, 0.0, length());
    f_.stretch.reset();
    f_.stretchLatency = 0.0;
}

void Deck::jumpBeats(double beats) {
    if (hasSource()) seek(audiblePosition() + beatsToFrames(beats));
}

void Deck::setSyncRate(double rate) {
    f_.syncRate = rate > 0 && std::isfinite(rate) ? rate : 0.0;
    f_.rate = std::clamp(f_.syncRate > 0 ? f_.syncRate : f_.userRate, kMinRate, kMaxRate);
}

void Deck::holdCurrentRate() {
    f_.userRate = f_.rate;
    f_.rateTakeover = true;
}

void Deck::setKeyShift(int semitones) {
    const int s = std::clamp(semitones, -kMaxKeyShift, kMaxKeyShift);
    if (s == f_.keyShift) return;
    f_.keySync = false;
    f_.keyShift = s;
    f_.pitchFactor = pitchFactor(s);
    // The stretcher restarts in the new key; starting from what is heard keeps the position.
    f_.position = audiblePosition();
    f_.stretchLatency = 0.0;
    f_.stretch.reset();
}

void Deck::toggleKeySync(const Deck* master) {
    if (f_.keySync) {
        setKeyShift(0);
        f_.keySync = false;
        return;
    }
    if (!master || master == this) return;
    const std::optional<int> shift = chooseKeySyncShift(f_.key, master->f_.key, master->keyShift());
    if (!shift) return;
    setKeyShift(*shift);
    f_.keySync = true;
}

// ---------------------------------------------------------------------------------------------
// Render

void Deck::countDownJog(int frames) {
    f_.topHold = std::max<std::int64_t>(0, f_.topHold - frames);
    f_.ringHold = std::max<std::int64_t>(0, f_.ringHold - frames);
    if (f_.topHold == 0) f_.topSpeed = 0.0;
    if (f_.ringHold == 0) f_.ringSpeed = 0.0;
}

void Deck::setStretchMode(bool on) {
    if (on == f_.stretchMode) return;
    // What the stretcher still holds was read but never heard: play on from what was heard.
    if (!on && f_.stretchLatency > 0) f_.position = audiblePosition();
    f_.stretch.reset();
    f_.stretchLatency = 0.0;
    f_.stretchMode = on;
}

void Deck::fetchSource(std::int64_t first, float* dst, int count) {
    const SampleSource& src = *f_.track->source;
    if (src.stemCount() != 4) {
        f_.stemMix.snap(f_.stemsOn ? 1.0f : 0.0f);
        src.read(first, dst, count);
        return;
    }
    if (!f_.stemsOn && f_.stemMix.current == 0.0f) {
        src.read(first, dst, count);
        return;
    }
    // The gains at the first and the last of the raw frames this read covers, so every change
    // ramps across the read. Through the stem mix, stems off fade back to the plain sum.
    float from[4];
    float to[4];
    const float mixFrom = f_.stemMix.current;
    const float mixTo = advance(f_.stemMix, count);
    for (int s = 0; s < 4; ++s) {
        const float g0 = f_.stemGains[s].current;
        const float g1 = advance(f_.stemGains[s], count);
        from[s] = 1.0f + (g0 - 1.0f) * mixFrom;
        to[s] = 1.0f + (g1 - 1.0f) * mixTo;
    }
    src.readMixed(first, dst, count, from, to);
}

bool Deck::readSource(double& playhead, float* out, int frames, double speed) {
    auto fetch = [this](std::int64_t first, float* dst, int count) {
        fetchSource(first, dst, count);
    };
    const bool loop = loopActive();
    return f_.reader.readLooped(fetch, playhead, length(), speed, loop ? f_.loopIn : -1.0,
                                loop ? f_.loopOut : -1.0, out, frames);
}

bool Deck::stretchFrom(ITimeStretcher& st, double& playhead, float* scratch, float* out, int frames,
                       double ratio, double readSpeed) {
    st.setRatio(ratio);
    int m = std::clamp(st.inputFramesFor(frames), 0, f_.stretchScratchFrames);
    if (readSpeed > 0) m = std::min(m, static_cast<int>((f_.reader.rawFrames() - 4) / readSpeed));
    bool ok = true;
    if (m > 0) ok = readSource(playhead, scratch, m, readSpeed);
    st.process(scratch, m, out, frames);
    return ok;
}

void Deck::renderOutgoingStretcher(int frames, double ratio, double readSpeed) {
    // The stem gains glide once per block, whichever stretcher reads first.
    SmoothedParameter gains[4];
    std::copy(std::begin(f_.stemGains), std::end(f_.stemGains), gains);
    const SmoothedParameter mix = f_.stemMix;
    StretcherSwitch& sw = f_.stretch;
    stretchFrom(sw.outgoing(), sw.fadePlayhead(), sw.fadeInput(), sw.fadeOutput(), frames, ratio,
                readSpeed);
    std::copy(gains, gains + 4, f_.stemGains);
    f_.stemMix = mix;
}

bool Deck::renderStretched(float* out, int frames, double srRatio) {
    const double speed = (f_.keylock ? 1.0 : f_.rate) * f_.pitchFactor;
    const double ratio = speed > 1e-12 ? f_.rate / speed : 1.0;
    const double readSpeed = speed * srRatio;
    if (f_.stretch.fading()) renderOutgoingStretcher(frames, ratio, readSpeed);
    const bool ok = stretchFrom(f_.stretch.active(), f_.position, f_.stretchScratch.data(), out,
                                frames, ratio, readSpeed);
    f_.stretchLatency = f_.stretch.active().latencyFrames() * readSpeed;
    if (f_.stretch.fading()) f_.stretch.mixFade(out, frames);
    return ok;
}

void Deck::advanceShadow(int frames) {
    if (f_.slipActive)
        f_.shadow =
            std::clamp(f_.shadow + sourceRatio() * f_.rate * frames, 0.0, std::max(length(), 0.0));
    else if (f_.slipMode)
        f_.shadow = audiblePosition();
}

void Deck::render(float* out, int frames) {
    if (frames <= 0) return;
    if (f_.stretch.quality() != (sound_.keylockQuality == 1 ? 1 : 0)) followKeylockQuality();
    std::memset(out, 0, sizeof(float) * 2 * static_cast<std::size_t>(frames));
    f_.strip.clearPeaks();
    if (!hasSource() || !f_.stretch.prepared()) {
        countDownJog(frames);
        return;
    }
    const double srRatio = sourceRatio();
    bool topMoving = f_.topHold > 0 && std::fabs(f_.topSpeed) > kMovementThreshold;
    bool ringMoving = !topMoving && !f_.jogTouched && f_.ringHold > 0 &&
                      std::fabs(f_.ringSpeed) > kMovementThreshold;

    // While a loop edge is being adjusted the jog moves the edge and the deck plays on.
    bool adjusting = false;
    if (f_.adjustEdge != 0) {
        f_.adjustCounter += frames;
        if (f_.adjustCounter > static_cast<std::int64_t>(kAdjustTimeoutSeconds * engineRate_)) {
            f_.adjustEdge = 0;
            f_.adjustCounter = 0;
        } else {
            adjusting = true;
            if (topMoving || ringMoving)
                moveAdjustEdge(srRatio * (topMoving ? f_.topSpeed : f_.ringSpeed) * frames);
            topMoving = ringMoving = false;
        }
    }
    const bool movement = topMoving || ringMoving;
    const bool held = !adjusting && f_.jogTouched && !topMoving;
    const bool sounding = !held && (f_.state == DeckState::PLAYING || movement);
    if (!sounding) {
        setStretchMode(false);
        advanceShadow(frames);
        countDownJog(frames);
        return;
    }

    const bool backwards = f_.reverse || f_.slipReverse;
    const double epsilon = f_.stretchMode ? kStretchLeaveEpsilon : kStretchEnterEpsilon;
    const bool stretch = !movement && !backwards &&
                         ((f_.keylock && std::fabs(f_.rate - 1.0) > epsilon) || f_.keyShift != 0);
    setStretchMode(stretch);

    bool ok;
    if (f_.stretchMode) {
        ok = renderStretched(out, frames, srRatio);
    } else {
        double speed = topMoving ? f_.topSpeed : ringMoving ? f_.rate + f_.ringSpeed : f_.rate;
        if (backwards) speed = -speed;
        speed = std::clamp(speed * srRatio, -kMaxJogSpeed, kMaxJogSpeed);
        ok = readSource(f_.position, out, frames, speed);
        f_.stretchLatency = 0.0;
    }
    if (!ok && f_.state == DeckState::PLAYING) f_.state = DeckState::PAUSED;
    f_.strip.process(out, frames);
    advanceShadow(frames);
    countDownJog(frames);
}

// ---------------------------------------------------------------------------------------------
// Snapshot and swap

void Deck::fillSnapshot(DeckSnapshot& s) const {
    s = DeckSnapshot{};
    s.state = static_cast<std::uint8_t>(f_.state);
    s.cue = f_.cue;
    s.keylock = f_.keylock;
    s.position = audiblePosition();
    s.rate = f_.rate;
    s.userRate = f_.userRate;
    s.length = static_cast<std::uint64_t>(length());
    s.peakLeft = f_.strip.peakLeft();
    s.peakRight = f_.strip.peakRight();
    s.mainCue = static_cast<std::uint64_t>(std::max(f_.mainCue, 0.0));
    s.preview = f_.preview;
    const double sr = sourceSampleRate();
    auto seconds = [sr](double frames) {
        return frames >= 0 && sr > 0 ? static_cast<float>(frames / sr) : -1.0f;
    };
    for (int i = 0; i < 8; ++i) {
        if (f_.hotCues[i] >= 0) s.hotCueMask |= 1 << i;
        s.hotCueSeconds[i] = seconds(f_.hotCues[i]);
    }
    if (hasGrid() && sr > 0) {
        const double t = s.position / sr;
        s.hasGrid = true;
        s.beat = f_.track->grid.beatAt(t);
        s.bpm = static_cast<float>(f_.track->grid.bpmAt(t));
        s.bar = static_cast<float>(f_.track->grid.barPhase(t));
    }
    s.looping = f_.looping;
    s.loopInSeconds = seconds(f_.loopIn);
    s.loopOutSeconds = f_.loopIn >= 0 && f_.loopOut > f_.loopIn ? seconds(f_.loopOut) : -1.0f;
    s.loopInAdjust = f_.adjustEdge == 1;
    s.loopOutAdjust = f_.adjustEdge == 2;
    s.slip = f_.slipMode;
    s.slipActive = f_.slipActive;
    s.slipSeconds = f_.slipMode || f_.slipActive ? seconds(f_.shadow) : -1.0f;
    s.reverse = f_.reverse;
    s.slipReverse = f_.slipReverse;
    s.jogging = jogging();
    s.keyShift = f_.keyShift;
    s.keySync = f_.keySync;
    s.hasKey = f_.key.known();
    s.stemsAvailable = hasSource() && f_.track->source->stemCount() == 4;
    s.stemsOn = f_.stemsOn;
    for (int i = 0; i < 4; ++i)
        s.stemGains[i] = f_.stemGains[i].target;
    s.stemVariant = f_.track ? f_.track->stemVariant : 0;
}

void Deck::setSoundOptions(const SoundOptions& options) noexcept {
    sound_ = options;
    // Anything but the one-pole split's 1 means the default isolator.
    f_.strip.setEqType(options.eqType == 1 ? EqType::OnePole : EqType::Isolator);
    f_.reader.setInterpolation(options.interpolation == 1 ? VarispeedInterpolation::BandLimited
                                                          : VarispeedInterpolation::Linear);
    followKeylockQuality();
}

void Deck::followKeylockQuality() noexcept {
    const int quality = sound_.keylockQuality == 1 ? 1 : 0;
    // A change that comes during a crossfade waits for its end (the next blocks look again).
    if (quality == f_.stretch.quality() || f_.stretch.fading()) return;
    // The new stretcher starts from what is heard. While it is stretching, the old one plays on
    // from its own read position and fades out under it.
    const double heard = audiblePosition();
    const bool fade = f_.stretchMode && f_.stretchLatency > 0;
    f_.stretch.select(quality, fade, f_.position);
    f_.position = heard;
    f_.stretchLatency = 0.0;
}

void Deck::swapWith(Deck& other) noexcept {
    // Moving the fields moves pointers and buffers; nothing is allocated or freed.
    std::swap(f_, other.f_);
}

} // namespace vyn
