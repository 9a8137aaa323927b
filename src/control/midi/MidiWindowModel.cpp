#include "control/midi/MidiWindowModel.h"

#include "control/midi/MidiHub.h"
#include "control/midi/MidiLearn.h"
#include "control/midi/MidiMappingFile.h"
#include "control/midi/MidiRouter.h"
#include "support/FileIo.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace vyn {

namespace {

constexpr const char* kDot = "  \xC2\xB7  ";
constexpr const char* kNoController = "No controller yet \xE2\x80\x94 press something on it first.";
constexpr const char* kNoDeviceStatus =
    "Press a control on a CDJ or mixer to identify it, then load a preset.";
constexpr std::uint64_t kMaxPresetBytes = 4u << 20;

} // namespace

MidiWindowModel::MidiWindowModel(MidiHub& hub, MidiRouter& router, MidiMapStore store)
    : hub_(hub), router_(router), store_(std::move(store)) {}

// --- selectors ---

void MidiWindowModel::selectAction(int index) {
    if (index < 0 || index >= static_cast<int>(kMidiWindowActions.size())) return;
    action_ = index;
    const int usual = midiUsualMode(kMidiWindowActions[static_cast<std::size_t>(index)]);
    if (usual >= 0) mode_ = usual;
}

void MidiWindowModel::selectMode(int index) {
    if (index >= 0 && index < kModes) mode_ = index;
}

void MidiWindowModel::selectSlot(int index) {
    if (index >= 0 && index < kSlots) slot_ = index;
}

void MidiWindowModel::selectShift(int index) {
    if (index >= 0 && index < kShifts) shift_ = index;
}

std::string MidiWindowModel::actionItem(int index) {
    if (index < 0 || index >= static_cast<int>(kMidiWindowActions.size())) return {};
    const auto action =
        static_cast<std::uint16_t>(kMidiWindowActions[static_cast<std::size_t>(index)]);
    const char* label = midiActionLabel(action);
    return label ? label : midiActionName(action);
}

const char* MidiWindowModel::modeItem(int index) {
    return midiModeName(static_cast<std::uint8_t>(index));
}

std::string MidiWindowModel::slotItem(int index) {
    return index == 0 ? std::string("slot focus") : "slot " + std::to_string(index);
}

std::string MidiWindowModel::shiftItem(int index) {
    return "shift " + std::to_string(index);
}

// --- buttons ---

void MidiWindowModel::learn() {
    std::lock_guard<std::mutex> lock(hub_.mutex());
    const std::string& device = hub_.activeDevice();
    MidiController* controller = device.empty() ? nullptr : hub_.findController(device);
    if (!controller) {
        message_ = kNoController;
        return;
    }
    if (controller->learning || learning_) {
        controller->learning = false;
        if (MidiController* other = hub_.findController(learnDevice_)) other->learning = false;
        learning_ = false;
        message_ = "learn cancelled";
        return;
    }
    const char* name = midiActionName(
        static_cast<std::uint16_t>(kMidiWindowActions[static_cast<std::size_t>(action_)]));
    controller->learnTemplate =
        midiLearnTemplate(name ? name : "", modeItem(mode_), slot_ - 1, shift_);
    controller->learning = true;
    learning_ = true;
    learnDevice_ = device;
    message_ = "press the control to bind";
}

void MidiWindowModel::cancelLearn() {
    if (!learning_) return;
    std::lock_guard<std::mutex> lock(hub_.mutex());
    if (MidiController* c = hub_.findController(learnDevice_)) c->learning = false;
    learning_ = false;
}

void MidiWindowModel::loadPreset(const std::string& name) {
    const std::optional<std::string> path = store_.presetPath(name);
    FileReadResult file;
    if (path) file = readWholeFile(*path, kMaxPresetBytes);
    if (!path || !file.ok) {
        message_ = "Could not find that preset.";
        return;
    }
    MidiMapping mapping;
    const MidiMappingReadResult parsed = readMidiMapping(file.data, mapping);
    if (!parsed.ok) {
        message_ = parsed.message;
        return;
    }
    std::string device;
    {
        std::lock_guard<std::mutex> lock(hub_.mutex());
        device = hub_.activeDevice();
        if (device.empty()) {
            message_ = "Press a control on the controller first.";
            return;
        }
        hub_.controllerFor(device).installMapping(std::move(mapping));
    }
    save(device);
    refreshRows();
    message_ = "loaded " + name;
}

void MidiWindowModel::clear() {
    std::string device;
    {
        std::lock_guard<std::mutex> lock(hub_.mutex());
        device = hub_.activeDevice();
        MidiController* controller = device.empty() ? nullptr : hub_.findController(device);
        if (!controller) {
            message_ = kNoController;
            return;
        }
        controller->mapping.bindings.clear();
    }
    save(device);
    refreshRows();
    message_ = "bindings cleared";
}

void MidiWindowModel::remove(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    const MidiBinding& chosen = rows_[static_cast<std::size_t>(row)].binding;
    const std::string chosenText = writeMidiMapping(MidiMapping{{}, 2, {chosen}});
    std::string device;
    bool removed = false;
    {
        std::lock_guard<std::mutex> lock(hub_.mutex());
        device = hub_.activeDevice();
        MidiController* controller = device.empty() ? nullptr : hub_.findController(device);
        if (!controller) return;
        // Exactly the row's binding: bindings of other shift layers share its address.
        auto& bindings = controller->mapping.bindings;
        const auto it = std::find_if(bindings.begin(), bindings.end(), [&](const MidiBinding& b) {
            return writeMidiMapping(MidiMapping{{}, 2, {b}}) == chosenText;
        });
        if (it != bindings.end()) {
            bindings.erase(it);
            removed = true;
        }
    }
    if (removed) save(device);
    refreshRows();
}

// --- periodic work ---

void MidiWindowModel::periodic(bool windowVisible) {
    restoreIfActiveChanged();
    completeLearn();
    if (!windowVisible) {
        // Nobody reads the monitor: keep the rings empty so that only a real overload counts as
        // dropped, and an opened monitor starts with what arrives then.
        drainMonitor(false);
        return;
    }
    refreshRows();
    refreshStatus();
    drainMonitor(true);
}

void MidiWindowModel::restoreIfActiveChanged() {
    const std::string device = hub_.lastActiveDevice();
    if (device == lastHandled_) return;
    lastHandled_ = device;
    if (device.empty()) return;
    const std::optional<std::string> saved = store_.load(device);
    if (!saved || saved->empty()) return;
    MidiMapping mapping;
    if (!readMidiMapping(*saved, mapping).ok) return;
    int merged = 0;
    if (!mapping.device.empty()) {
        if (const auto path = store_.presetPath(mapping.device)) {
            const FileReadResult file = readWholeFile(*path, kMaxPresetBytes);
            MidiMapping preset;
            if (file.ok && readMidiMapping(file.data, preset).ok)
                merged = mergeMidiPreset(mapping, preset);
        }
    }
    {
        std::lock_guard<std::mutex> lock(hub_.mutex());
        MidiController* controller = hub_.findController(device);
        if (!controller) return;
        // Switching between controllers mid-set must not drop a held shift or jog touch: the
        // mapping goes in (resetting runtime state) only when it is not already there.
        if (!sameMidiMapping(controller->mapping, mapping))
            controller->installMapping(std::move(mapping));
    }
    if (merged > 0) save(device);
}

void MidiWindowModel::completeLearn() {
    if (!learning_) return;
    MidiBinding learned;
    {
        std::lock_guard<std::mutex> lock(hub_.mutex());
        MidiController* controller = hub_.findController(learnDevice_);
        if (controller && controller->learning) return;
        if (!controller) {
            learning_ = false;
            return;
        }
        learned = controller->lastLearned;
    }
    learning_ = false;
    message_ = "bound " + midiBindingAddress(learned);
    save(learnDevice_);
    refreshRows();
    refreshStatus();
}

void MidiWindowModel::save(const std::string& device) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(hub_.mutex());
        const MidiController* controller = hub_.findController(device);
        if (!controller) return;
        if (!controller->mapping.bindings.empty()) text = writeMidiMapping(controller->mapping);
    }
    store_.save(device, text); // a failure leaves the mapping working until the program exits
}

// --- what the window shows ---

void MidiWindowModel::refreshRows() {
    rows_.clear();
    std::lock_guard<std::mutex> lock(hub_.mutex());
    const std::string& device = hub_.activeDevice();
    const MidiController* controller = device.empty() ? nullptr : hub_.findController(device);
    if (!controller) return;
    for (const MidiBinding& b : controller->mapping.bindings) {
        const char* name = midiActionName(b.action);
        rows_.push_back({midiBindingAddress(b), name ? name : "none", midiBindingDetail(b), b});
    }
}

void MidiWindowModel::refreshStatus() {
    {
        std::lock_guard<std::mutex> lock(hub_.mutex());
        const std::string& device = hub_.activeDevice();
        const MidiController* controller = device.empty() ? nullptr : hub_.findController(device);
        if (controller) {
            status_ =
                device + kDot + std::to_string(controller->mapping.bindings.size()) + " bindings";
        } else {
            status_ = kNoDeviceStatus;
        }
    }
    for (int port = 0; port < MidiRouter::kPorts; ++port) {
        if (!router_.connected(port)) continue;
        status_ += kDot;
        status_ += router_.name(port);
        status_ += " " + std::to_string(router_.received(port));
        if (const std::uint32_t dropped = router_.dropped(port); dropped > 0)
            status_ += " dropped " + std::to_string(dropped);
    }
}

void MidiWindowModel::drainMonitor(bool keep) {
    MidiRouterEntry entries[kMonitorBatch];
    const std::size_t n = router_.drain(entries, kMonitorBatch);
    if (!keep) return;
    for (std::size_t i = 0; i < n; ++i) {
        const MidiRouterEntry& e = entries[i];
        if (e.message.midiKind() == MidiKind::SystemRealtime && !showClock) continue;
        char port[24];
        char bytes[16];
        std::snprintf(port, sizeof port, "p%d ch%d", e.port, e.message.channel + 1);
        std::snprintf(bytes, sizeof bytes, "%02X %02X %02X", e.message.status, e.message.data1,
                      e.message.data2);
        monitor_.push_front({port, formatMidiMessage(e.message), bytes});
    }
    while (monitor_.size() > kMonitorRows)
        monitor_.pop_back();
}

void MidiWindowModel::refreshPresets() {
    presets_ = store_.presetNames();
}

} // namespace vyn
