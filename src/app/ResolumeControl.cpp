#include "app/ResolumeControl.h"

#include "control/midi/IMidiBackend.h"
#include "engine/EngineHost.h"
#include "support/SettingsStore.h"

#include <charconv>
#include <cmath>

namespace vyn {

namespace names = resolume_settings;

namespace {

// The port field as a number: a number below 1 reads as the default, text that is not a whole
// number as -1 (which the sender rejects as out of range).
int portValue(const std::string& text) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || text.empty()) return -1;
    if (value < 1) return ResolumeControl::kDefaultPort;
    return value > 65535 ? 65536 : static_cast<int>(value);
}

} // namespace

ResolumeControl::ResolumeControl(SettingsStore& store) : store_(store) {
    host = store_.text(names::kHost).value_or("");
    if (host.empty()) host = kDefaultHost;
    int p = store_.integer(names::kPort, kDefaultPort);
    if (p < 1) p = kDefaultPort;
    port = std::to_string(p);
    cueMap = store_.integer(names::kCueMap, 0) == 1 ? 1 : 0;
    resyncEveryBar = store_.integer(names::kResyncBar, 0) != 0;
    pauseWhenStopped = store_.integer(names::kPause, 0) != 0;
    sendMidiClock = store_.integer(names::kMidiOn, 0) != 0;
    midiOutput = store_.text(names::kMidiOut).value_or("");
}

void ResolumeControl::setMidiBackend(IMidiBackend* midi) {
    if (clock_) clock_->stop();
    midi_ = midi;
    clock_ = midi ? std::make_unique<MidiClockOutput>(*midi) : nullptr;
}

void ResolumeControl::refreshOutputs() {
    outputs_.clear();
    if (!midi_) return;
    for (const MidiOutputInfo& o : midi_->listOutputs())
        outputs_.push_back(o.name);
}

void ResolumeControl::save() {
    int p = portValue(port);
    if (p < 1 || p > 65535) p = kDefaultPort;
    store_.setText(names::kHost, host);
    store_.setInteger(names::kPort, p);
    store_.setInteger(names::kCueMap, cueMap);
    store_.setInteger(names::kResyncBar, resyncEveryBar ? 1 : 0);
    store_.setInteger(names::kPause, pauseWhenStopped ? 1 : 0);
    store_.setInteger(names::kMidiOn, sendMidiClock ? 1 : 0);
    store_.setText(names::kMidiOut, midiOutput);
    store_.setInteger(names::kOn, oscOn() ? 1 : 0);
}

void ResolumeControl::startOrStop(bool audioRunning) {
    if (oscOn() || clockOn())
        stop();
    else
        start(audioRunning);
}

void ResolumeControl::start(bool audioRunning) {
    message_.clear();
    if (!audioRunning) {
        message_ = "Audio is not running.";
        return;
    }
    if (host.empty()) host = kDefaultHost;
    if (portValue(port) == kDefaultPort) port = std::to_string(kDefaultPort);
    ResolumeSettings s;
    s.cueMap = static_cast<std::uint8_t>(cueMap);
    s.resyncEveryBar = resyncEveryBar;
    s.pauseOn = pauseWhenStopped;
    output_.setSettings(s);
    const bool opened = sender_.open(host, portValue(port));
    output_.reset();
    if (!opened) {
        message_ = sender_.lastError().empty() ? "Could not open OSC output." : sender_.lastError();
    } else if (sendMidiClock) {
        if (!clock_ || !clock_->open(midiOutput)) {
            const std::string error = clock_ ? clock_->lastError() : std::string();
            message_ = error.empty() ? "OSC is sending; MIDI clock did not start." : error;
        }
    }
    // Saved once the outputs are up, so that resolumeOn records whether OSC runs.
    save();
}

void ResolumeControl::stop() {
    sender_.close();
    output_.reset();
    if (clock_) clock_->stop();
    message_.clear();
    save();
}

void ResolumeControl::close() {
    sender_.close();
    output_.reset();
    clock_.reset();
}

void ResolumeControl::startAtLaunch(bool audioRunning) {
    if (!audioRunning || store_.integer(names::kOn, 0) != 1) return;
    start(audioRunning);
}

void ResolumeControl::tick(const EngineSnapshot& snapshot, EngineHost& engine) {
    output_.tick(snapshot, [&engine](Command& c) { return engine.popApplied(c); });
    tempo_ = mixTempo(snapshot);
    if (clockOn()) {
        bool playing = false;
        for (const DeckSnapshot& d : snapshot.decks)
            if (d.state == static_cast<std::uint8_t>(DeckState::PLAYING)) playing = true;
        clock_->set(tempo_, playing);
    }
}

std::string ResolumeControl::statusLine() const {
    std::string s = "resolume  \xC2\xB7  ";
    if (oscOn() && clockOn())
        s += "OSC + MIDI clock";
    else if (oscOn())
        s += "OSC";
    else if (clockOn())
        s += "MIDI clock";
    else
        s += "not sending";
    if (tempo_ > 0.5) s += "  \xC2\xB7  " + std::to_string(static_cast<int>(tempo_)) + " BPM";
    // A receiver that cannot keep up: the socket's buffer was full and datagrams were lost.
    if (oscOn() && sender_.droppedDatagrams() > 0)
        s += "  \xC2\xB7  " + std::to_string(sender_.droppedDatagrams()) + " datagrams dropped";
    return s;
}

} // namespace vyn
