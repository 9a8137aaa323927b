#include "control/midi/MidiHub.h"

#include "control/midi/MidiRouter.h"
#include "engine/EngineHost.h"

#include <algorithm>

namespace vyn {

MidiHub::MidiHub(const MidiRouter& router) : router_(router) {}

void MidiHub::listen(MidiRouter& router) {
    router.setObserver([this](int port, const MidiMessage& message, std::uint32_t time) {
        handleMessage(port, message, time);
    });
}

void MidiHub::setEngine(EngineHost* engine) {
    std::lock_guard<std::mutex> lock(mutex_);
    engine_ = engine;
    if (engine && engine != slotEngine_) {
        // Producer slots are never given back: one per engine for the hub's lifetime.
        producer_ = engine->acquireProducer();
        slotEngine_ = engine;
    }
}

void MidiHub::setCaptureSink(CaptureSink sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    capture_ = std::move(sink);
}

void MidiHub::handleMessage(int port, const MidiMessage& message, std::uint32_t timeMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (engine_) engine_->readSnapshot(snapshot_); // on a lost race the previous copy stands
    if (capture_) capture_(port, message, timeMs);
    if (message.status >= 0xF8) return;
    if (replayOwnsMix_.load(std::memory_order_acquire)) return;
    if (port < 0 || port >= 8) return;

    const std::string_view name = router_.name(port);
    if (portDevice_[port] != name) portDevice_[port].assign(name);
    if (lastActive_ != name) lastActive_.assign(name);
    MidiController& controller = controllerFor(name);

    Command commands[4];
    MidiBrowseEvent browse;
    const int n = dispatchMidi(controller, port, message, snapshot_, commands, 4, browse, timeMs);
    if (browse.kind != 0 && !browse_.push(browse))
        droppedBrowse_.fetch_add(1, std::memory_order_relaxed);
    for (int i = 0; i < n; ++i) {
        if (!engine_ || producer_ < 0 || !engine_->push(producer_, commands[i]))
            droppedCommands_.fetch_add(1, std::memory_order_relaxed);
    }
}

MidiController* MidiHub::findController(std::string_view device) {
    for (auto& c : controllers_)
        if (c->deviceName == device) return c.get();
    return nullptr;
}

MidiController& MidiHub::controllerFor(std::string_view device) {
    if (MidiController* c = findController(device)) return *c;
    auto created = std::make_unique<MidiController>(shared_);
    created->deviceName = std::string(device);
    controllers_.push_back(std::move(created));
    return *controllers_.back();
}

void MidiHub::installMapping(std::string_view device, MidiMapping mapping) {
    std::lock_guard<std::mutex> lock(mutex_);
    controllerFor(device).installMapping(std::move(mapping));
}

int MidiHub::focusedDeck() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shared_.focusedDeck;
}

void MidiHub::setFocusedDeck(int deck) {
    if (deck < 0 || deck > 15) return;
    std::lock_guard<std::mutex> lock(mutex_);
    shared_.focusedDeck = deck;
}

double MidiHub::platterRpm(int deck) {
    if (deck < 0 || deck > 15) return 0.0;
    std::lock_guard<std::mutex> lock(mutex_);
    return shared_.platterRpm[deck];
}

std::string MidiHub::lastActiveDevice() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastActive_;
}

namespace {

bool followsFocus(const MidiController& c) {
    for (const MidiBinding& b : c.mapping.bindings)
        if (b.slot == -1 && b.action != 0) return true;
    return false;
}

} // namespace

std::vector<MidiFocusFollower> MidiHub::focusFollowers() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<MidiFocusFollower> out;
    for (const auto& c : controllers_)
        if (followsFocus(*c)) out.push_back({c->deviceName, shared_.focusedDeck});
    return out;
}

std::uint32_t MidiHub::decksInUse() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::uint32_t mask = 0;
    for (const auto& c : controllers_) {
        if (followsFocus(*c)) {
            if (shared_.focusedDeck >= 0 && shared_.focusedDeck < 16)
                mask |= 1u << shared_.focusedDeck;
            continue;
        }
        const int channels = c->mapping.channels < 1 ? 2 : std::min(c->mapping.channels, 16);
        const int first = c->bank * MidiController::kBankSize;
        for (int d = first; d < first + channels && d < 16; ++d)
            mask |= 1u << d;
    }
    return mask;
}

} // namespace vyn
