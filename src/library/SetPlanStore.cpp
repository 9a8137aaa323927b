#include "library/SetPlanStore.h"

#include "library/UsbImport.h"
#include "support/FileIo.h"

#include <filesystem>
#include <system_error>

namespace vyn {
namespace fs = std::filesystem;
namespace {

using namespace set_plan_text;

constexpr std::uint64_t kMaxPlanBytes = 16u << 20;

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "setplan.txt.damaged", or with a number before the suffix when that name is taken.
std::string damagedName(const std::string& file) {
    std::error_code ec;
    for (int n = 1; n < 1000; ++n) {
        const std::string candidate =
            n == 1 ? file + ".damaged" : file + "." + std::to_string(n) + ".damaged";
        if (!fs::exists(pathFromUtf8(candidate), ec)) return candidate;
    }
    return {};
}

std::vector<std::string> sticksAmong(const std::vector<std::string>& roots) {
    std::vector<std::string> out;
    for (const std::string& r : roots)
        if (SetPlanStore::isStick(r)) out.push_back(r);
    return out;
}

} // namespace

bool SetPlanStore::isStick(const std::string& root) {
    std::error_code ec;
    return fs::is_regular_file(pathFromUtf8(trimStickRoot(root) + "/PIONEER/rekordbox/export.pdb"),
                               ec);
}

std::string SetPlanStore::stickFile(const std::string& root) {
    return trimStickRoot(root) + "/" + kStickFolder + "/" + kFileName;
}

std::string SetPlanStore::writeStickFile(const std::string& root, const std::string& text) {
    std::error_code ec;
    const fs::path folder = pathFromUtf8(trimStickRoot(root) + "/" + kStickFolder);
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) return kNoStickFolder;
    if (!writeFileAtomically(stickFile(root), text, nullptr)) return kStickWriteFailed;
    return {};
}

std::string SetPlanStore::load() {
    plan_.parse("");
    plan_.clearHistory();
    if (localFile_.empty()) return {};
    std::error_code ec;
    if (!fs::exists(pathFromUtf8(localFile_), ec)) return {};
    const FileReadResult file = readWholeFile(localFile_, kMaxPlanBytes);
    const std::string error = file.ok ? plan_.parse(file.data) : file.error;
    if (error.empty()) return {};
    plan_.parse("");
    const std::string aside = damagedName(localFile_);
    if (!aside.empty()) {
        fs::rename(pathFromUtf8(localFile_), pathFromUtf8(aside), ec);
        if (!ec)
            return "The Set Plan file could not be read (" + error + ") and was kept as " +
                   fileNameOf(aside) + "; the plan starts empty.";
    }
    localBlocked_ = true;
    return "The Set Plan file could not be read (" + error +
           ") and is left as it is; changes to the plan are not saved to it.";
}

bool SetPlanStore::writeLocal() {
    if (localFile_.empty() || localBlocked_) return false;
    std::error_code ec;
    fs::create_directories(pathFromUtf8(localFile_).parent_path(), ec);
    return writeFileAtomically(localFile_, plan_.fullText(), nullptr);
}

std::string SetPlanStore::save(const std::vector<std::string>& roots) {
    const std::vector<std::string> sticks = sticksAmong(roots);
    if (sticks.empty()) return kPlugInStick;
    const std::string text = plan_.stickText();
    std::string failures;
    std::size_t written = 0;
    for (const std::string& stick : sticks) {
        const std::string error = writeStickFile(stick, text);
        if (error.empty()) {
            ++written;
            continue;
        }
        if (!failures.empty()) failures += ' ';
        failures += error + " (" + stick + ")";
    }
    const bool localWritten = writeLocal();
    if (written == sticks.size()) {
        plan_.setSavedStickText(text);
        return localWritten || localFile_.empty() || localBlocked_
                   ? kSaved
                   : std::string(kSaved) + " " + kLocalWriteFailed;
    }
    std::string message;
    if (written > 0)
        message = "Saved to " + std::to_string(written) + " of " + std::to_string(sticks.size()) +
                  " sticks. ";
    return message + failures;
}

void SetPlanStore::syncWithSticks(const std::vector<std::string>& roots) {
    const std::vector<std::string> sticks = sticksAmong(roots);
    if (!plan_.stickTextHasGroups()) {
        const std::string before = plan_.fullText();
        for (const std::string& stick : sticks) {
            const FileReadResult file = readWholeFile(stickFile(stick), kMaxPlanBytes);
            if (file.ok) plan_.merge(file.data);
        }
        plan_.setSavedStickText(plan_.stickText());
        if (plan_.fullText() != before) writeLocal();
        return;
    }
    std::size_t read = 0;
    bool agree = true;
    const std::string text = plan_.stickText();
    for (const std::string& stick : sticks) {
        const FileReadResult file = readWholeFile(stickFile(stick), kMaxPlanBytes);
        if (!file.ok) continue;
        ++read;
        agree = agree && file.data == text;
    }
    if (read > 0 && agree) plan_.setSavedStickText(text);
}

} // namespace vyn
