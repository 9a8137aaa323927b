#include "app/SetFiles.h"

#include "engine/ReplayPlayer.h"
#include "support/FileIo.h"
#include "support/KnownFolders.h"
#include "support/TimeFormat.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vyn::set_files {
namespace fs = std::filesystem;

std::string setsFolder() {
    const std::string documents = documentsFolder();
    return documents.empty() ? std::string() : documents + "/sets";
}

std::string fallbackSetsFolder() {
    const std::string data = dataFolder();
    return data.empty() ? std::string() : data + "/sets";
}

std::string stemFor(std::int64_t createdAtMillis) {
    return formatLocalTime(createdAtMillis, "%Y%m%d-%H%M%S");
}

std::string freeStem(const std::string& stem, const std::vector<Place>& places) {
    for (int n = 1;; ++n) {
        const std::string candidate = n == 1 ? stem : stem + "-" + std::to_string(n);
        bool taken = false;
        for (const Place& p : places) {
            std::error_code ec;
            taken = taken || fs::exists(pathFromUtf8(p.folder + "/" + candidate + p.extension), ec);
        }
        if (!taken) return candidate;
    }
}

SaveResult save(const SetReplay& set, const std::string& folder, const std::string& stem) {
    SaveResult r;
    if (folder.empty()) {
        r.error = "no folder is known for it";
        return r;
    }
    std::error_code ec;
    fs::create_directories(pathFromUtf8(folder), ec);
    if (!fs::is_directory(pathFromUtf8(folder), ec)) {
        r.error = "the folder could not be created";
        return r;
    }
    r.path = folder + "/" + freeStem(stem, {{folder, ".vynset"}}) + ".vynset";
    r.ok = writeFileAtomically(r.path, writeSetReplay(set), &r.error);
    return r;
}

std::optional<SetReplay> newestSet(const std::vector<std::string>& folders) {
    std::vector<std::pair<fs::file_time_type, std::string>> files;
    for (const std::string& folder : folders) {
        std::error_code ec;
        if (folder.empty()) continue;
        for (fs::directory_iterator it(pathFromUtf8(folder), ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->path().extension() != ".vynset" || !it->is_regular_file(ec)) continue;
            files.emplace_back(it->last_write_time(ec), utf8FromPath(it->path()));
        }
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a > b; });
    for (const auto& [time, path] : files) {
        const FileReadResult text = readWholeFile(path, 256u << 20);
        if (!text.ok) continue;
        SetReplayReadResult read = readSetReplay(text.data);
        if (read.ok) return std::move(read.replay);
    }
    return std::nullopt;
}

std::string savedMessage(const SetReplay& set, const std::string& path) {
    const double seconds = set.events.empty() ? 0.0
                                              : static_cast<double>(set.events.back().frame) /
                                                    std::max(set.sampleRate, 1.0);
    return "saved " + utf8FromPath(pathFromUtf8(path).filename()) + " (" +
           minutesAndSeconds(seconds) + ")";
}

} // namespace vyn::set_files
