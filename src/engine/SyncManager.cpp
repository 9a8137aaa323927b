#include "engine/SyncManager.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vyn {

void SyncManager::requestAlign(int deck, bool snap) {
    if (deck < 0 || deck >= kDecks) return;
    alignRequest_[deck] = true;
    alignSnap_[deck] = alignSnap_[deck] || snap;
}

void SyncManager::clearAlign(int deck) {
    if (deck < 0 || deck >= kDecks) return;
    alignRequest_[deck] = alignSnap_[deck] = false;
}

void SyncManager::update(const SyncInput (&in)[kDecks], SyncResult (&out)[kDecks]) {
    for (int d = 0; d < kDecks; ++d) {
        if (in[d].playing && !wasPlaying_[d] && syncOn_[d]) requestAlign(d, true);
        if (wasJogging_[d] && !in[d].jogging && in[d].playing && syncOn_[d] && d != master_)
            requestAlign(d, false);
        wasPlaying_[d] = in[d].playing;
        wasJogging_[d] = in[d].jogging;
    }

    int m = -1;
    if (chosenMaster_ >= 0 && candidate(in[chosenMaster_])) {
        m = chosenMaster_;
    } else if (master_ >= 0 && candidate(in[master_]) && in[master_].playing) {
        m = master_;
    } else {
        for (int d = 0; d < kDecks && m < 0; ++d)
            if (candidate(in[d]) && in[d].playing) m = d;
        if (m < 0 && master_ >= 0 && candidate(in[master_])) m = master_;
    }
    master_ = m;
    if (m >= 0) {
        masterBpm_ = in[m].userRate * in[m].gridBpm;
        masterBeat_ = in[m].beat;
        masterPlaying_ = in[m].playing;
    } else {
        masterPlaying_ = false;
    }

    for (int d = 0; d < kDecks; ++d) {
        SyncResult& r = out[d];
        r = SyncResult{};
        r.isMaster = d == master_;
        const SyncInput& me = in[d];
        const bool follows = syncOn_[d] && d != master_ && me.hasGrid && me.gridBpm > 0 &&
                             master_ >= 0 && masterBpm_ > 0;
        if (!follows) {
            r.rate = me.userRate;
            clearAlign(d);
            continue;
        }
        r.following = true;
        const SyncInput& ms = in[master_];
        const double masterTempo = ms.localBpm > 0 ? ms.localBpm : ms.gridBpm;
        const double myTempo = me.localBpm > 0 ? me.localBpm : me.gridBpm;
        const double target = masterTempo * ms.userRate / myTempo;
        const double diff = masterBeat_ - me.beat;
        double e = 0.0;
        if (std::isfinite(diff)) {
            e = diff - std::floor(diff);
            if (e >= 0.5) e -= 1.0;
        }
        r.phaseError = e;
        if (alignRequest_[d]) {
            const bool snap = alignSnap_[d];
            clearAlign(d);
            if (snap) {
                double bar = ms.barPhase - me.barPhase;
                if (!std::isfinite(bar)) bar = 0.0;
                bar = std::fmod(bar, 4.0);
                if (bar > 2.0) bar -= 4.0;
                if (bar < -2.0) bar += 4.0;
                r.correction = bar;
            } else {
                r.correction = e;
            }
            r.rate = target;
        } else {
            double nudge = 0.0;
            if (ms.playing && me.playing && !me.jogging) {
                if (std::fabs(e) > 0.01)
                    nudge = std::clamp((e - 0.01 * (e > 0 ? 1.0 : -1.0)) * 0.25, -0.002, 0.002);
            } else {
                r.notCorrecting = true;
            }
            r.rate = target * (1.0 + nudge);
        }
    }
}

void SyncManager::swap(int a, int b) {
    std::swap(syncOn_[a], syncOn_[b]);
    std::swap(alignRequest_[a], alignRequest_[b]);
    std::swap(alignSnap_[a], alignSnap_[b]);
    std::swap(wasPlaying_[a], wasPlaying_[b]);
    std::swap(wasJogging_[a], wasJogging_[b]);
    auto remap = [&](int& ref) {
        if (ref == a)
            ref = b;
        else if (ref == b)
            ref = a;
    };
    remap(chosenMaster_);
    remap(master_);
}

} // namespace vyn
