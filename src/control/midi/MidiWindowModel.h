#pragma once
// What the MIDI window shows and does, without drawing: the selectors of the learn template,
// Learn / Load preset / Clear / Remove on the controller that sent the last message, the bindings
// rows, the monitor (newest first, at most 200 rows, 64 new ones per refresh), the status line
// with every input port's counters, and the periodic work that runs whether or not the window is
// shown: the learn completion and the restore of a device's saved mapping (merged with the
// preset its device line names) when another controller becomes the active one.
//
// Threading: user-interface thread only. Controllers are read and changed under the hub's MIDI
// mutex; files are read and written outside it.

#include "control/midi/MidiBinding.h"
#include "control/midi/MidiMapStore.h"

#include <deque>
#include <string>
#include <vector>

namespace vyn {

class MidiHub;
class MidiRouter;

struct MidiBindingRow {
    std::string address;
    std::string action;
    std::string detail;
    MidiBinding binding; // what Remove takes away
};

struct MidiMonitorRow {
    std::string port;    // "p0 ch1"
    std::string message; // the message text
    std::string bytes;   // "90 24 7F"
};

class MidiWindowModel {
public:
    static constexpr const char* kTitle = "MIDI";
    static constexpr const char* kLearn = "Learn";
    static constexpr const char* kListening = "Listening\xE2\x80\xA6";
    static constexpr const char* kFirstStatus = "Press a control on a CDJ or mixer first.";
    static constexpr std::size_t kMonitorRows = 200;
    static constexpr std::size_t kMonitorBatch = 64;
    static constexpr int kModes = 5;
    static constexpr int kSlots = 9;  // "slot focus", then "slot 1".."slot 8"
    static constexpr int kShifts = 9; // "shift 0".."shift 8"

    MidiWindowModel(MidiHub& hub, MidiRouter& router, MidiMapStore store);

    // --- selectors (indices into their item lists) ---
    int action() const { return action_; }
    // Also moves the mode selector to the action's usual mode, when it has one.
    void selectAction(int index);
    int mode() const { return mode_; }
    void selectMode(int index);
    int slot() const { return slot_; }
    void selectSlot(int index);
    int shift() const { return shift_; }
    void selectShift(int index);
    static std::string actionItem(int index); // the label shown
    static const char* modeItem(int index);
    static std::string slotItem(int index);
    static std::string shiftItem(int index);
    bool showClock = false; // "Clock": real-time messages in the monitor

    // --- buttons ---
    void learn();
    void loadPreset(const std::string& name);
    void clear();
    void remove(int row); // row of bindings()
    // The window closed: a pending learn is cancelled.
    void cancelLearn();

    // --- periodic work (every 100 ms while the engine runs) ---
    void periodic(bool windowVisible);

    // --- what the window shows ---
    const std::string& status() const { return status_; }
    const std::string& message() const { return message_; }
    const char* learnLabel() const { return learning_ ? kListening : kLearn; }
    bool learning() const { return learning_; }
    const std::vector<MidiBindingRow>& bindings() const { return rows_; }
    const std::deque<MidiMonitorRow>& monitor() const { return monitor_; }
    const std::vector<std::string>& presets() const { return presets_; }
    void refreshPresets();

    MidiMapStore& store() { return store_; }

private:
    void restoreIfActiveChanged();
    void completeLearn();
    void save(const std::string& device);
    void refreshRows();
    void refreshStatus();
    void drainMonitor(bool keep);

    MidiHub& hub_;
    MidiRouter& router_;
    MidiMapStore store_;
    int action_ = 4; // "play / pause"
    int mode_ = 0;
    int slot_ = 1; // "slot 1"
    int shift_ = 0;
    bool learning_ = false;
    std::string learnDevice_;
    std::string lastHandled_;
    std::string status_ = kFirstStatus;
    std::string message_;
    std::vector<MidiBindingRow> rows_;
    std::deque<MidiMonitorRow> monitor_;
    std::vector<std::string> presets_;
};

} // namespace vyn
