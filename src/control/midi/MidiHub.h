#pragma once
// The application's MIDI handler: owns the controllers (one per device name), the focused deck
// and platter table they share, and the application's MIDI mutex. Installed as the router's
// observer, it turns every message into engine commands (through its own producer ring) and
// browse events for the library browser.
//
// Threading:
// - handleMessage runs on the MIDI input thread and takes the MIDI mutex.
// - Every other member that touches controllers takes the same mutex itself, except those
//   marked "caller holds mutex()", meant for the user-interface thread's longer edits (learn,
//   presets), done as { std::lock_guard lock(hub.mutex()); ... }.
// - popBrowseEvent: one consumer thread (the user-interface thread).
// - setReplayOwnsMix: any thread.
// Never call MidiInputPorts::rescan/closeAll while holding mutex(): closing an input waits for
// the input thread, which may be waiting for this mutex.

#include "control/midi/MidiController.h"
#include "control/midi/MidiDispatcher.h"
#include "control/midi/MidiMessage.h"
#include "engine/EngineSnapshot.h"
#include "support/SpscRing.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

class EngineHost;
class MidiRouter;

struct MidiFocusFollower {
    std::string device;
    int deck = 0;
};

class MidiHub {
public:
    // Receives every message (real-time ones included) for a running set recording.
    using CaptureSink =
        std::function<void(int port, const MidiMessage& message, std::uint32_t time)>;

    explicit MidiHub(const MidiRouter& router);
    MidiHub(const MidiHub&) = delete;
    MidiHub& operator=(const MidiHub&) = delete;

    // Installs this hub as the router's observer. Call once, before devices open.
    void listen(MidiRouter& router);

    // The engine that receives the commands (null: commands are dropped). The hub acquires a
    // producer slot the first time it sees an engine.
    void setEngine(EngineHost* engine);
    void setCaptureSink(CaptureSink sink);
    void setReplayOwnsMix(bool owns) { replayOwnsMix_.store(owns, std::memory_order_release); }

    // The observer: capture, then (for non-real-time messages while no replay owns the mix)
    // dispatch through the controller of the port's device.
    void handleMessage(int port, const MidiMessage& message, std::uint32_t timeMs);

    // The next browse event for the library browser.
    bool popBrowseEvent(MidiBrowseEvent& out) noexcept { return browse_.pop(out); }

    std::mutex& mutex() { return mutex_; }
    // Caller holds mutex(). Creates the controller when absent.
    MidiController& controllerFor(std::string_view device);
    // Caller holds mutex(). Null when no message of that device arrived yet.
    MidiController* findController(std::string_view device);
    // Caller holds mutex(). The device of the port that sent the last dispatched message.
    const std::string& activeDevice() const { return lastActive_; }

    // Replaces a device's mapping (creating its controller), keeping bank, focus and held state.
    void installMapping(std::string_view device, MidiMapping mapping);

    int focusedDeck();
    void setFocusedDeck(int deck); // 0-15; other values are ignored
    double platterRpm(int deck);
    std::string lastActiveDevice();
    // (device, focused deck) for every controller with a focus-following binding.
    std::vector<MidiFocusFollower> focusFollowers();
    // Bit d set for every deck d that a controller drives.
    std::uint32_t decksInUse();

    std::uint64_t droppedCommands() const { return droppedCommands_.load(); }
    std::uint64_t droppedBrowseEvents() const { return droppedBrowse_.load(); }

private:
    const MidiRouter& router_;
    std::mutex mutex_;
    MidiSurfaceState shared_;
    std::vector<std::unique_ptr<MidiController>> controllers_;
    std::string portDevice_[8];
    std::string lastActive_;
    EngineSnapshot snapshot_; // last consistent copy; reused when a read races too often
    EngineHost* engine_ = nullptr;
    EngineHost* slotEngine_ = nullptr;
    int producer_ = -1;
    CaptureSink capture_;
    std::atomic<bool> replayOwnsMix_{false};
    SpscRing<MidiBrowseEvent, 1024> browse_;
    std::atomic<std::uint64_t> droppedCommands_{0};
    std::atomic<std::uint64_t> droppedBrowse_{0};
};

} // namespace vyn
