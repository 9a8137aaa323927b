#include "dsp/FxUnit.h"

#include "dsp/fx/BeatTiming.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace vyn {
namespace {

constexpr float kSilence = 1e-5f;

float blockPeak(const float* stereo, int frames) noexcept {
    float peak = 0.0f;
    for (int i = 0; i < 2 * frames; ++i)
        peak = std::max(peak, std::fabs(stereo[i]));
    return peak;
}

} // namespace

bool FxUnit::isBeatBased(int type) noexcept {
    switch (type) {
    case kEcho:
    case kSingleEcho:
    case kPingPongEcho:
    case kLowCutEcho:
    case kShrinkingEcho:
    case kGate:
    case kRoll:
    case kRisingRoll:
    case kSawSweep:
    case kTriangleSweep:
        return true;
    default:
        return false;
    }
}

bool FxUnit::hasTail(int type) noexcept {
    return (type >= kEcho && type <= kReverb && type != kFlanger);
}

bool FxUnit::isAdditive(int type) noexcept {
    return (type >= kEcho && type <= kPhaser) || type == kSawSweep || type == kTriangleSweep;
}

void FxUnit::prepare(double sampleRate, int maxBlock) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    maxBlock_ = std::clamp(maxBlock, 1, 2048);
    buffer_.assign(2 * static_cast<std::size_t>(maxBlock_), 0.0f);
    lowCutCoefficient_ =
        static_cast<float>(1.0 - std::exp(-2.0 * std::numbers::pi * 500.0 / sampleRate_));
    filter_.prepare(sampleRate_);
    echo_.prepare(sampleRate_);
    pingPong_.prepare(sampleRate_);
    shrinking_.prepare(sampleRate_);
    flanger_.prepare(sampleRate_);
    reverb_.prepare(sampleRate_);
    phaser_.prepare(sampleRate_);
    gate_.prepare(sampleRate_);
    pitch_.prepare(sampleRate_);
    roll_.prepare(sampleRate_);
    sweep_.prepare(sampleRate_);
    sendPass_ = false;
    reset();
}

void FxUnit::reset() noexcept {
    filter_.reset();
    echo_.reset();
    pingPong_.reset();
    shrinking_.reset();
    flanger_.reset();
    reverb_.reset();
    phaser_.reset();
    gate_.reset();
    pitch_.reset();
    roll_.reset();
    sweep_.reset();
    lowCut_[0] = lowCut_[1] = 0.0f;
    sendFilled_ = false;
    tailSeen_ = false;
    silentFrames_ = 0.0;
}

// ---------------------------------------------------------------------------------------------
// Commands

void FxUnit::setTarget(double value) noexcept {
    if (!std::isfinite(value)) return;
    const double t = std::trunc(value);
    const std::int32_t next = (t < kTargetNone || t > 15.0) ? kTargetNone : static_cast<int>(t);
    if (next == target_) return;
    target_ = next;
    sendFilled_ = false;
    // Untargeting an echo or the reverb lets what is in its lines ring out on the master.
    if (next == kTargetNone && hasTail(type_)) return;
    reset();
}

void FxUnit::setMode(double value) noexcept {
    if (!std::isfinite(value)) return;
    const bool send = value != 0.0;
    if (send == sendMode_) return;
    sendMode_ = send;
    reset();
}

void FxUnit::setMix(double value) noexcept {
    if (std::isfinite(value)) mix_ = static_cast<float>(std::clamp(value, 0.0, 1.0));
}

void FxUnit::setModuleBeats(double beats) noexcept {
    switch (type_) {
    case kEcho:
    case kSingleEcho:
    case kLowCutEcho:
        echo_.setBeats(beats);
        break;
    case kPingPongEcho:
        pingPong_.setBeats(beats);
        break;
    case kShrinkingEcho:
        shrinking_.setBeats(beats);
        break;
    case kGate:
        gate_.setBeats(beats);
        break;
    case kRoll:
    case kRisingRoll:
        roll_.setBeats(beats);
        break;
    case kSawSweep:
    case kTriangleSweep:
        sweep_.setBeats(beats);
        break;
    default:
        break;
    }
}

void FxUnit::setParam(double value) noexcept {
    if (!std::isfinite(value)) return;
    const float v = static_cast<float>(value);
    switch (type_) {
    case kFilter:
        filter_.setKnob(v);
        return;
    case kFlanger:
        flanger_.setRate(v);
        return;
    case kReverb:
        reverb_.setRoom(v);
        return;
    case kPhaser:
        phaser_.setRate(v);
        return;
    case kPitchShift:
        pitch_.setPitch(v);
        return;
    default:
        break;
    }
    if (!isBeatBased(type_)) return;
    const int step = fx::beatStep(value);
    quantised_ = static_cast<float>(step) / 6.0f;
    setModuleBeats(fx::kBeatTable[step]);
}

void FxUnit::setResonance(double value) noexcept {
    if (!std::isfinite(value)) return;
    const float v = static_cast<float>(value);
    switch (type_) {
    case kFilter:
        filter_.setResonance(v);
        break;
    case kEcho:
    case kLowCutEcho:
        echo_.setFeedback(v);
        break;
    case kFlanger:
        flanger_.setFeedback(v);
        break;
    case kPingPongEcho:
        pingPong_.setFeedback(v);
        break;
    case kShrinkingEcho:
        shrinking_.setFeedback(v);
        break;
    case kReverb:
        reverb_.setDamping(v);
        break;
    case kPhaser:
        phaser_.setFeedback(v);
        break;
    case kGate:
        gate_.setDuty(v);
        break;
    default:
        break; // single echo, pitch shift, rolls and sweeps have no resonance
    }
}

void FxUnit::setType(double value) noexcept {
    if (!std::isfinite(value)) return;
    const double t = std::trunc(value);
    if (t < 0.0 || t > 15.0) return;
    type_ = static_cast<std::uint8_t>(t);
    // The remembered step carries over, so an echo of half a beat becomes a gate of half a beat.
    const int step = fx::beatStep(quantised_);
    quantised_ = static_cast<float>(step) / 6.0f;
    if (isBeatBased(type_)) setModuleBeats(fx::kBeatTable[step]);
    reset();
}

void FxUnit::clearTarget() noexcept {
    target_ = kTargetNone;
    reset();
}

void FxUnit::swapDeckTargets(int a, int b) noexcept {
    if (target_ == a)
        target_ = b;
    else if (target_ == b)
        target_ = a;
}

// ---------------------------------------------------------------------------------------------
// Read-back

float FxUnit::param() const noexcept {
    switch (type_) {
    case kFilter:
        return filter_.knob();
    case kFlanger:
        return flanger_.rate();
    case kReverb:
        return reverb_.room();
    case kPhaser:
        return phaser_.rate();
    case kPitchShift:
        return pitch_.pitch();
    default:
        return quantised_;
    }
}

float FxUnit::resonance() const noexcept {
    switch (type_) {
    case kFilter:
        return filter_.resonance();
    case kEcho:
    case kLowCutEcho:
        return echo_.feedback();
    case kFlanger:
        return flanger_.feedback();
    case kPingPongEcho:
        return pingPong_.feedback();
    case kShrinkingEcho:
        return shrinking_.feedback();
    case kReverb:
        return reverb_.damping();
    case kPhaser:
        return phaser_.feedback();
    case kGate:
        return gate_.duty();
    default:
        return 0.0f;
    }
}

bool FxUnit::bypassed() const noexcept {
    if (target_ == kTargetNone || type_ == kNone || !(mix_ > 0.0f)) return true;
    switch (type_) {
    case kFilter:
        return ChannelFilter::inDeadZone(filter_.knob());
    case kFlanger:
        return flanger_.rate() <= 0.0f;
    case kPhaser:
        return phaser_.rate() <= 0.0f;
    case kPitchShift:
        return fx::PitchShifter::inDeadZone(pitch_.pitch());
    default:
        return false;
    }
}

double FxUnit::tailFrames() const noexcept {
    const double tempo = fx::effectiveTempo(tempo_);
    switch (type_) {
    case kEcho:
    case kSingleEcho:
    case kLowCutEcho:
        return 1.25 * fx::delaySeconds(echo_.beats(), tempo) * sampleRate_;
    case kShrinkingEcho:
        return 1.25 * fx::delaySeconds(shrinking_.beats(), tempo) * sampleRate_;
    case kPingPongEcho:
        return 2.5 * fx::delaySeconds(pingPong_.beats(), tempo) * sampleRate_;
    case kReverb:
        return 3.0 * sampleRate_;
    default:
        return 0.0;
    }
}

bool FxUnit::tailActive() const noexcept {
    return hasTail(type_) && tailSeen_ && silentFrames_ < tailFrames();
}

// ---------------------------------------------------------------------------------------------
// Render

int FxUnit::clampFrames(int frames) const noexcept {
    return std::clamp(frames, 0, maxBlock_);
}

void FxUnit::setTempo(double bpm) noexcept {
    if (std::isfinite(bpm) && bpm > 1.0) tempo_ = bpm;
}

void FxUnit::beginBlock(int frames) noexcept {
    sendPass_ = sendMode_ && !bypassed() && maxBlock_ > 0;
    if (!sendPass_) return;
    std::memset(buffer_.data(), 0,
                2 * static_cast<std::size_t>(clampFrames(frames)) * sizeof(float));
    sendFilled_ = false;
}

void FxUnit::processDeck(int deck, float* stereo, int frames) noexcept {
    const int n = clampFrames(frames);
    if (n == 0 || deck != target_ || target_ < 0 || bypassed()) return;
    if (!sendMode_) {
        insert(stereo, n);
        return;
    }
    if (!sendPass_) beginBlock(n); // a caller that skipped step 9 still gets a clean send
    float* fx = buffer_.data();
    for (int i = 0; i < 2 * n; ++i)
        fx[i] += stereo[i];
    sendFilled_ = true;
}

void FxUnit::finishBlock(float* master, int frames) noexcept {
    const int n = clampFrames(frames);
    if (n == 0) {
        sendPass_ = false;
        return;
    }
    float* fx = buffer_.data();
    const std::size_t bytes = 2 * static_cast<std::size_t>(n) * sizeof(float);
    if (sendPass_ && target_ >= 0 && (sendFilled_ || tailActive()) && mix_ > 0.0f) {
        // The send return: what the target deck fed in, or the send's own tail.
        runModule(fx, n);
        addScaled(master, n);
    }
    if (target_ == kTargetMaster && !bypassed()) {
        if (sendMode_) {
            std::memcpy(fx, master, bytes);
            runModule(fx, n);
            addScaled(master, n);
        } else {
            insert(master, n);
        }
    }
    if (target_ == kTargetNone && mix_ > 0.0f && tailActive()) {
        // Untargeted: the lines play out what they still hold.
        std::memset(fx, 0, bytes);
        runModule(fx, n);
        addScaled(master, n);
    }
    sendPass_ = false;
}

void FxUnit::addScaled(float* master, int frames) const noexcept {
    const float* fx = buffer_.data();
    const float mix = mix_;
    for (int i = 0; i < 2 * frames; ++i)
        master[i] += fx[i] * mix;
}

void FxUnit::insert(float* stereo, int frames) noexcept {
    float* fx = buffer_.data();
    const int samples = 2 * frames;
    std::memcpy(fx, stereo, static_cast<std::size_t>(samples) * sizeof(float));
    runModule(fx, frames);
    const float mix = mix_;
    if (isAdditive(type_)) {
        // The dry signal stays at full level; the effect comes on top.
        for (int i = 0; i < samples; ++i)
            stereo[i] += fx[i] * mix;
    } else if (mix >= 1.0f) {
        std::memcpy(stereo, fx, static_cast<std::size_t>(samples) * sizeof(float));
    } else {
        const float dry = 1.0f - mix;
        for (int i = 0; i < samples; ++i)
            stereo[i] = fx[i] * mix + stereo[i] * dry;
    }
}

void FxUnit::runModule(float* stereo, int frames) noexcept {
    if (frames <= 0) return;
    const float inPeak = hasTail(type_) ? blockPeak(stereo, frames) : 0.0f;
    const double tempo = fx::effectiveTempo(tempo_);
    switch (type_) {
    case kFilter:
        filter_.process(stereo, frames);
        break;
    case kEcho:
    case kSingleEcho:
        echo_.process(stereo, frames, tempo, type_ == kSingleEcho);
        break;
    case kLowCutEcho: {
        echo_.process(stereo, frames, tempo, false);
        const float a = lowCutCoefficient_;
        for (int f = 0; f < frames; ++f) {
            for (int ch = 0; ch < 2; ++ch) {
                float& y = stereo[2 * f + ch];
                lowCut_[ch] += (y - lowCut_[ch]) * a;
                y -= lowCut_[ch];
            }
        }
        break;
    }
    case kFlanger:
        flanger_.process(stereo, frames);
        break;
    case kPingPongEcho:
        pingPong_.process(stereo, frames, tempo);
        break;
    case kShrinkingEcho:
        shrinking_.process(stereo, frames, tempo);
        break;
    case kReverb:
        reverb_.process(stereo, frames);
        break;
    case kPhaser:
        phaser_.process(stereo, frames);
        break;
    case kGate:
        gate_.process(stereo, frames, tempo);
        break;
    case kPitchShift:
        pitch_.process(stereo, frames);
        break;
    case kRoll:
    case kRisingRoll:
        roll_.process(stereo, frames, tempo, type_ == kRisingRoll);
        break;
    case kSawSweep:
    case kTriangleSweep:
        sweep_.process(stereo, frames, tempo, type_ == kTriangleSweep);
        break;
    default:
        break;
    }
    if (!hasTail(type_)) return;
    // A tail lasts while the line has heard something and has not yet been quiet, in and out,
    // for the tail length.
    if (std::max(inPeak, blockPeak(stereo, frames)) > kSilence) {
        tailSeen_ = true;
        silentFrames_ = 0.0;
    } else {
        silentFrames_ += frames;
    }
}

} // namespace vyn
