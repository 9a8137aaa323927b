#pragma once
// Where the Set Plan lives on disk: the local file (the full text, in the documents folder's VYN
// folder) and a stick file on every saved library root that is a rekordbox stick
// ("PIONEER/VYN/setplan.txt", the stick text). Every file is written to a temporary name, then
// renamed over the old one.
//
// A local file that cannot be read or parsed is never overwritten: at load it is renamed aside
// with a ".damaged" suffix (or, when even that fails, left alone and never written this session),
// and the load says so, so the user's groups are not lost to the next change.
//
// Threading: user-interface thread only.

#include "library/SetPlan.h"

#include <string>
#include <vector>

namespace vyn {

namespace set_plan_text {
inline constexpr const char* kSaved = "Saved to USB.";
inline constexpr const char* kPlugInStick = "Plug in a rekordbox stick to save.";
inline constexpr const char* kNoStickFolder = "Could not create PIONEER/VYN on the stick.";
inline constexpr const char* kStickWriteFailed = "Could not write Set Plan to the stick.";
inline constexpr const char* kLocalWriteFailed = "Could not write the Set Plan file.";
} // namespace set_plan_text

class SetPlanStore {
public:
    static constexpr const char* kFileName = "setplan.txt";
    static constexpr const char* kStickFolder = "PIONEER/VYN";

    // `localFile`: the full path of the local file (empty: kept in memory only).
    explicit SetPlanStore(std::string localFile) : localFile_(std::move(localFile)) {}

    SetPlan& plan() { return plan_; }
    const SetPlan& plan() const { return plan_; }
    const std::string& localFile() const { return localFile_; }

    // Reads the local file into the plan and empties the history. Returns what the user must be
    // told (a damaged file kept aside), else "".
    std::string load();
    // Writes the full text to the local file; false (and nothing touched) when it failed or the
    // file was damaged and could not be set aside.
    bool writeLocal();

    // The "Save" button: the stick text onto every stick among `roots`, and the local file.
    // "Saved to USB." only when every stick was written; each stick that failed is named.
    std::string save(const std::vector<std::string>& roots);
    // After every library job: with no stick groups, the sticks' files are merged into the plan;
    // otherwise the sticks are compared with the plan to know whether Save has anything to do.
    void syncWithSticks(const std::vector<std::string>& roots);

    // True for a rekordbox stick root (its PIONEER/rekordbox/export.pdb is a regular file).
    static bool isStick(const std::string& root);
    static std::string stickFile(const std::string& root);
    // Writes `text` as the root's stick file; "" or the failure message.
    static std::string writeStickFile(const std::string& root, const std::string& text);

private:
    SetPlan plan_;
    std::string localFile_;
    bool localBlocked_ = false;
};

} // namespace vyn
