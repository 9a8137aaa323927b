// The settings file reader on any bytes: a damaged file opens, a value set is read back, and
// the file the store writes reads back into a store that writes the same file again.

#include "FuzzTarget.h"
#include "support/FileIo.h"
#include "support/SettingsStore.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// A folder for one input, in memory where the system has a memory file system (the store syncs
// every file it writes); removed again when the input is done (libFuzzer ends without running
// destructors, so nothing may outlive an input).
struct Scratch {
    std::string dir;
    Scratch() {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "vyn-fuzz-settings-XXXXXX").string();
        if (::mkdtemp(pattern.data())) dir = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
};

std::string slurp(const std::string& path) {
    const vyn::FileReadResult r = vyn::readWholeFile(path, 1u << 22);
    return r.ok ? r.data : std::string();
}

} // namespace

VYN_FUZZ_TARGET(settings) {
    const Scratch scratch;
    if (scratch.dir.empty()) return;
    const std::string first = scratch.dir + "/first.ini";
    const std::string second = scratch.dir + "/second.ini";
    if (!vyn::writeFileAtomically(first, std::string(reinterpret_cast<const char*>(data), size),
                                  nullptr))
        return;
    auto store = vyn::openSettingsFile(first);
    const std::vector<std::string> list = {"a", "b = c", ""};
    if (!store->setList("vynFuzzList", list) || !store->setText("vynFuzz", "1")) return;
    vyn::fuzz::require(store->text("vynFuzz") == "1" && store->list("vynFuzzList") == list &&
                           store->integer("vynFuzz", 0) == 1,
                       "values set are read back");
    const std::string written = slurp(first);
    if (!vyn::writeFileAtomically(second, written, nullptr)) return;
    auto again = vyn::openSettingsFile(second);
    vyn::fuzz::require(again->text("vynFuzz") == "1" && again->list("vynFuzzList") == list,
                       "a written file reads back what was set");
    // The same change on both stores writes the same file: nothing read was lost or altered.
    store->setText("vynFuzz", "2");
    again->setText("vynFuzz", "2");
    vyn::fuzz::require(slurp(first) == slurp(second), "a file that reads back writes the same");
}
