#include "control/midi/MidiInputPorts.h"

#include "control/midi/MidiRouter.h"
#include "support/Utf8.h"

namespace vyn {

MidiInputPorts::MidiInputPorts(std::unique_ptr<IMidiBackend> backend)
    : backend_(std::move(backend)) {}

MidiInputPorts::~MidiInputPorts() {
    closeAll();
}

std::string MidiInputPorts::deviceName(std::string_view raw) {
    std::string clean = utf8::sanitize(raw);
    if (clean.empty()) return "MIDI";
    return std::string(utf8::truncate(clean, MidiRouter::kNameBytes));
}

bool MidiInputPorts::attach(MidiRouter& router) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        router_ = &router;
    }
    rescan();
    return true;
}

void MidiInputPorts::rescan() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!router_ || !backend_) return;
    bool seen[kSlots] = {};
    for (const MidiDeviceInfo& device : backend_->listInputs()) {
        const std::string name = deviceName(device.name);
        int existing = -1;
        for (int s = 0; s < kSlots; ++s) {
            if (slots_[s].open() && slots_[s].name == name) {
                existing = s;
                break;
            }
        }
        if (existing >= 0) {
            seen[existing] = true;
            continue;
        }
        int free = -1;
        for (int s = 0; s < kSlots; ++s) {
            if (!slots_[s].open() && !seen[s]) {
                free = s;
                break;
            }
        }
        if (free < 0) continue;
        // The port is connected before its input can deliver anything.
        router_->portConnected(free, name);
        std::unique_ptr<IMidiInput> input = backend_->openInput(device, *router_, free);
        if (!input) {
            router_->portDisconnected(free);
            continue;
        }
        slots_[free].input = std::move(input);
        slots_[free].name = name;
        slots_[free].deviceIndex = device.index;
        seen[free] = true;
    }
    int open = 0;
    for (int s = 0; s < kSlots; ++s) {
        Slot& slot = slots_[s];
        if (slot.open() && !seen[s]) {
            slot.input.reset(); // stops and closes; no feed for it runs after this
            router_->portDisconnected(s);
            slot.name.clear();
        }
        if (slot.open()) ++open;
    }
    openCount_ = open;
}

void MidiInputPorts::closeAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Slot& slot : slots_) {
        slot.input.reset();
        slot.name.clear();
    }
    if (router_) router_->disconnectAll();
    openCount_ = 0;
}

std::vector<std::string> MidiInputPorts::names() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const Slot& slot : slots_)
        if (slot.open()) out.push_back(slot.name);
    return out;
}

int MidiInputPorts::openCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return openCount_;
}

} // namespace vyn
