// The settings store as a `key=value` text file (settings.ini): the user's settings on Linux, and
// any settings file named by path on every platform.

#include "support/FileIo.h"
#include "support/SettingsStore.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace vyn {
namespace {

constexpr std::uint64_t kMaxFileBytes = 1u << 20;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

class IniSettingsStore final : public SettingsStore {
public:
    explicit IniSettingsStore(std::string path) : path_(std::move(path)) { read(); }

    std::optional<std::string> text(std::string_view key) const override {
        for (const auto& [k, v] : entries_)
            if (k == key) return v;
        return std::nullopt;
    }

    std::vector<std::string> list(std::string_view key) const override {
        std::vector<std::string> out;
        for (const auto& [k, v] : entries_)
            if (k == key) out.push_back(v);
        return out;
    }

    bool setText(std::string_view key, std::string_view value) override {
        return setList(key, {std::string(value)});
    }

    bool setList(std::string_view key, const std::vector<std::string>& values) override {
        if (!storableKey(key)) return fail("setting name cannot be stored");
        for (const std::string& v : values)
            if (!storableValue(v)) return fail("setting value cannot be stored");
        // The new entries take the place of the key's first entry, so the file keeps its order.
        Entries next;
        bool placed = false;
        for (const auto& entry : entries_) {
            if (entry.first != key) {
                next.push_back(entry);
                continue;
            }
            if (placed) continue;
            for (const std::string& v : values)
                next.emplace_back(std::string(key), v);
            placed = true;
        }
        if (!placed)
            for (const std::string& v : values)
                next.emplace_back(std::string(key), v);
        if (next == entries_) return true;
        return commit(std::move(next));
    }

    bool remove(std::string_view key) override { return setList(key, {}); }

    const std::string& lastError() const override { return error_; }

private:
    using Entries = std::vector<std::pair<std::string, std::string>>;

    void read() {
        const FileReadResult file = readWholeFile(path_, kMaxFileBytes);
        if (!file.ok) return;
        std::string_view rest = file.data;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            parseLine(line);
        }
    }

    // Comments, section headers and lines that are not `key=value` are skipped.
    void parseLine(std::string_view line) {
        if (line.find('\0') != std::string_view::npos) return;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return;
        const std::string_view key = trim(line.substr(0, eq));
        if (!storableKey(key)) return;
        std::string_view value = line.substr(eq + 1);
        // Every carriage return before the line break goes: one left behind would be dropped by the
        // next read of what this store writes, and no value can be set with one at its end.
        while (!value.empty() && value.back() == '\r')
            value.remove_suffix(1);
        entries_.emplace_back(std::string(key), std::string(value));
    }

    bool commit(Entries next) {
        if (path_.empty()) return fail("no folder for the settings");
        std::string data;
        for (const auto& [k, v] : next) {
            data += k;
            data += '=';
            data += v;
            data += '\n';
        }
        std::error_code ec;
        const std::filesystem::path folder = pathFromUtf8(path_).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        std::string error;
        if (!writeFileAtomically(path_, data, &error)) return fail("settings could not be saved");
        entries_ = std::move(next);
        error_.clear();
        return true;
    }

    bool fail(const char* message) {
        error_ = message;
        return false;
    }

    std::string path_;
    Entries entries_;
    std::string error_;
};

} // namespace

std::unique_ptr<SettingsStore> openSettingsFile(const std::string& path) {
    return std::make_unique<IniSettingsStore>(path);
}

} // namespace vyn
