#pragma once
// Keeps up to eight MIDI input devices open on router ports 0-7 as devices come and go. Each
// rescan opens devices that appeared (on the lowest free port) and closes those that vanished; a
// device keeps its port as long as it stays plugged in. A second device with the name of an open
// one is not opened (the name is the controller's identity).
//
// Threading: attach, rescan, closeAll and names take the object's mutex and are meant for one
// thread (the user-interface thread). Input threads never take that mutex. Do not call rescan
// or closeAll while holding a lock that the router's observer takes: closing an input waits for
// its input thread.

#include "control/midi/IMidiBackend.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

class MidiRouter;

class MidiInputPorts {
public:
    static constexpr int kSlots = 8;

    explicit MidiInputPorts(std::unique_ptr<IMidiBackend> backend);
    ~MidiInputPorts();
    MidiInputPorts(const MidiInputPorts&) = delete;
    MidiInputPorts& operator=(const MidiInputPorts&) = delete;

    // Stores the router and performs the first rescan.
    bool attach(MidiRouter& router);
    void rescan();
    void closeAll();
    // Names of the open slots in slot order.
    std::vector<std::string> names() const;
    int openCount() const;

    IMidiBackend& backend() { return *backend_; }

    // The name a device is stored and compared under: valid UTF-8, "MIDI" when empty, cut to 63
    // bytes on a code point boundary (so a long name always matches its own slot).
    static std::string deviceName(std::string_view raw);

private:
    struct Slot {
        std::unique_ptr<IMidiInput> input;
        std::string name;
        std::size_t deviceIndex = 0;
        bool open() const { return input != nullptr; }
    };

    std::unique_ptr<IMidiBackend> backend_;
    mutable std::mutex mutex_;
    MidiRouter* router_ = nullptr;
    Slot slots_[kSlots];
    int openCount_ = 0;
};

} // namespace vyn
