#include "library/SetPlan.h"

#include <algorithm>
#include <charconv>

namespace vyn {
namespace {

using namespace set_plan_text;

constexpr std::string_view kContents = "/Contents/";

std::string_view trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Splits text into lines at "\n"; a "\r" before it stays with the line. A final "\n" ends the
// last line rather than starting an empty one.
class Lines {
public:
    explicit Lines(std::string_view text) : rest_(text) {}
    bool next(std::string_view& line) {
        if (done_ || rest_.empty()) return false;
        const std::size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        if (end == std::string_view::npos)
            done_ = true;
        else
            rest_.remove_prefix(end + 1);
        return true;
    }

private:
    std::string_view rest_;
    bool done_ = false;
};

std::string_view withoutCarriageReturn(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool onStick(const PlanGroup& g) {
    if (g.keys.size() < 2) return false;
    for (const std::string& k : g.keys)
        if (!startsWith(k, kContents)) return false;
    return true;
}

void appendPlaylist(std::string& out, const PlanPlaylist& p, bool stickOnly) {
    std::string body;
    for (const PlanGroup& g : p.groups) {
        if (stickOnly && !onStick(g)) continue;
        body += "group " + std::to_string(g.keys.size()) + "\n";
        for (const std::string& k : g.keys) {
            // The reader drops one carriage return before the line's end: a key that ends in
            // one gets another, so the file reads back as it was written.
            body += k;
            if (k.back() == '\r') body += '\r';
            body += '\n';
        }
    }
    if (body.empty()) return;
    out += "playlist " + p.key + "\n";
    out += body;
}

// A playlist key as the file can hold it and reads it back: a line break inside a name becomes a
// space, and the ends are trimmed as the reader trims them.
std::string storedPlaylistKey(std::string_view key) {
    std::string out(trim(key));
    std::replace(out.begin(), out.end(), '\n', ' ');
    return std::string(trim(out));
}

std::vector<std::string> keysOf(const std::vector<std::string>& paths) {
    std::vector<std::string> keys;
    keys.reserve(paths.size());
    for (const std::string& p : paths)
        keys.push_back(p.empty() ? std::string() : setPlanTrackKey(p));
    return keys;
}

std::string parseInto(std::string_view text, std::vector<PlanPlaylist>& out) {
    out.clear();
    if (text.empty()) return {};
    Lines lines(text);
    std::string_view line;
    lines.next(line);
    if (trim(line) != kHeader) return kNotAPlan;
    PlanPlaylist* current = nullptr;
    while (lines.next(line)) {
        line = withoutCarriageReturn(line);
        if (line.empty()) continue;
        if (startsWith(line, "playlist ")) {
            const std::string_view key = trim(line.substr(9));
            if (key.empty()) return kEmptyPlaylistKey;
            auto it = std::find_if(out.begin(), out.end(),
                                   [&](const PlanPlaylist& p) { return p.key == key; });
            if (it == out.end()) {
                out.push_back(PlanPlaylist{std::string(key), {}});
                it = out.end() - 1;
            }
            current = &*it;
        } else if (startsWith(line, "group ")) {
            if (!current) return kGroupWithoutPlaylist;
            const std::string_view number = trim(line.substr(6));
            long long size = 0;
            const auto [end, ec] =
                std::from_chars(number.data(), number.data() + number.size(), size);
            if (number.empty() || ec != std::errc() || end != number.data() + number.size())
                return kSizeNotANumber;
            if (size < 2) return kGroupTooSmall;
            PlanGroup group;
            for (long long i = 0; i < size; ++i) {
                if (!lines.next(line)) return kTruncated;
                line = withoutCarriageReturn(line);
                if (line.empty()) return kEmptyPath;
                group.keys.push_back(setPlanTrackKey(line));
            }
            current->groups.push_back(std::move(group));
        } else {
            return kUnexpectedLine;
        }
    }
    return {};
}

} // namespace

std::string setPlanTrackKey(std::string_view path) {
    std::string key(path);
    std::replace(key.begin(), key.end(), '\\', '/');
    const std::size_t at = key.find(kContents);
    return at == std::string::npos ? key : key.substr(at);
}

std::string SetPlan::parse(std::string_view text) {
    std::vector<PlanPlaylist> parsed;
    std::string error = parseInto(text, parsed);
    if (error.empty()) playlists_ = std::move(parsed);
    return error;
}

std::string SetPlan::merge(std::string_view text) {
    if (trim(text).empty() || trim(text) == kHeader) return {};
    std::vector<PlanPlaylist> parsed;
    std::string error = parseInto(text, parsed);
    if (!error.empty()) return error;
    for (PlanPlaylist& p : parsed) {
        if (p.groups.empty()) continue;
        findOrAdd(p.key) = std::move(p);
    }
    return {};
}

std::string SetPlan::fullText() const {
    std::string out = std::string(kHeader) + "\n";
    for (const PlanPlaylist& p : playlists_)
        appendPlaylist(out, p, false);
    return out;
}

std::string SetPlan::stickText() const {
    std::string out = std::string(kHeader) + "\n";
    for (const PlanPlaylist& p : playlists_)
        appendPlaylist(out, p, true);
    return out;
}

bool SetPlan::stickTextHasGroups() const {
    for (const PlanPlaylist& p : playlists_)
        for (const PlanGroup& g : p.groups)
            if (onStick(g)) return true;
    return false;
}

const PlanPlaylist* SetPlan::find(const std::string& key) const {
    const std::string stored = storedPlaylistKey(key);
    for (const PlanPlaylist& p : playlists_)
        if (p.key == stored) return &p;
    return nullptr;
}

PlanPlaylist& SetPlan::findOrAdd(const std::string& key) {
    std::string stored = storedPlaylistKey(key);
    for (PlanPlaylist& p : playlists_)
        if (p.key == stored) return p;
    playlists_.push_back(PlanPlaylist{std::move(stored), {}});
    return playlists_.back();
}

void SetPlan::recordStep(std::string before) {
    if (before == fullText()) return;
    undo_.push_back(std::move(before));
    while (undo_.size() > kUndoSteps)
        undo_.pop_front();
    redo_.clear();
}

void SetPlan::clearHistory() {
    undo_.clear();
    redo_.clear();
}

std::string SetPlan::group(const std::string& playlistKey, std::vector<int> positions,
                           const std::vector<std::string>& paths) {
    if (storedPlaylistKey(playlistKey).empty()) return kNoPlaylist;
    if (positions.size() < 2) return kSelectTwo;
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    if (positions.size() < 2 || positions.front() < 0 ||
        static_cast<std::size_t>(positions.back()) >= paths.size() ||
        positions.back() - positions.front() + 1 != static_cast<int>(positions.size()))
        return kNotAdjacent;
    PlanGroup added;
    for (int p : positions) {
        const std::string& path = paths[static_cast<std::size_t>(p)];
        // A path with a line break cannot be written as one line of the file.
        if (path.empty() || path.find('\n') != std::string::npos) return kNoPath;
        added.keys.push_back(setPlanTrackKey(path));
    }
    std::string before = fullText();
    PlanPlaylist& playlist = findOrAdd(playlistKey);
    auto shares = [&](const PlanGroup& g) {
        for (const std::string& k : g.keys)
            if (std::find(added.keys.begin(), added.keys.end(), k) != added.keys.end()) return true;
        return false;
    };
    playlist.groups.erase(std::remove_if(playlist.groups.begin(), playlist.groups.end(), shares),
                          playlist.groups.end());
    playlist.groups.push_back(std::move(added));
    recordStep(std::move(before));
    return {};
}

void SetPlan::ungroup(const std::string& playlistKey, const std::vector<int>& positions,
                      const std::vector<std::string>& paths) {
    std::vector<std::string> selected;
    for (int p : positions)
        if (p >= 0 && static_cast<std::size_t>(p) < paths.size() &&
            !paths[static_cast<std::size_t>(p)].empty())
            selected.push_back(setPlanTrackKey(paths[static_cast<std::size_t>(p)]));
    std::string before = fullText();
    const std::string key = storedPlaylistKey(playlistKey);
    for (PlanPlaylist& playlist : playlists_) {
        if (playlist.key != key) continue;
        auto holds = [&](const PlanGroup& g) {
            for (const std::string& k : g.keys)
                if (std::find(selected.begin(), selected.end(), k) != selected.end()) return true;
            return false;
        };
        playlist.groups.erase(std::remove_if(playlist.groups.begin(), playlist.groups.end(), holds),
                              playlist.groups.end());
    }
    recordStep(std::move(before));
}

bool SetPlan::undo() {
    if (undo_.empty()) return false;
    redo_.push_back(fullText());
    const std::string text = std::move(undo_.back());
    undo_.pop_back();
    parse(text);
    return true;
}

bool SetPlan::redo() {
    if (redo_.empty()) return false;
    undo_.push_back(fullText());
    while (undo_.size() > kUndoSteps)
        undo_.pop_front();
    const std::string text = std::move(redo_.back());
    redo_.pop_back();
    parse(text);
    return true;
}

std::vector<GroupMark> SetPlan::marks(const std::string& playlistKey,
                                      const std::vector<std::string>& paths) const {
    std::vector<GroupMark> out(paths.size());
    const PlanPlaylist* playlist = find(playlistKey);
    if (!playlist) return out;
    const std::vector<std::string> keys = keysOf(paths);
    int run = 0;
    for (const PlanGroup& g : playlist->groups) {
        const std::size_t size = g.keys.size();
        for (std::size_t start = 0; size > 0 && start + size <= keys.size(); ++start) {
            bool fits = true;
            for (std::size_t i = 0; i < size && fits; ++i)
                fits = out[start + i].run == 0 && keys[start + i] == g.keys[i];
            if (!fits) continue;
            ++run;
            for (std::size_t i = 0; i < size; ++i) {
                GroupMark& m = out[start + i];
                m.run = run;
                m.position = static_cast<int>(i);
                m.size = static_cast<int>(size);
                m.first = i == 0;
                m.last = i + 1 == size;
            }
        }
    }
    return out;
}

std::vector<int> SetPlan::followers(const std::string& playlistKey, int position,
                                    const std::vector<std::string>& paths) const {
    std::vector<int> out;
    if (position < 0 || static_cast<std::size_t>(position) >= paths.size()) return out;
    const GroupMark m = marks(playlistKey, paths)[static_cast<std::size_t>(position)];
    if (m.run == 0 || !m.first || m.size < 2) return out;
    for (int i = 1; i < m.size; ++i)
        out.push_back(position + i);
    return out;
}

std::vector<int> followerDecks(int firstDeck, std::size_t followers,
                               const std::vector<bool>& playing) {
    std::vector<int> out;
    const int n = static_cast<int>(std::min<std::size_t>(playing.size(), 16));
    if (n == 0) return out;
    std::vector<bool> used(static_cast<std::size_t>(n), false);
    if (firstDeck >= 0 && firstDeck < n) used[static_cast<std::size_t>(firstDeck)] = true;
    int next = ((firstDeck + 1) % n + n) % n;
    while (out.size() < followers) {
        int found = -1;
        for (int k = 0; k < n && found < 0; ++k) {
            const int d = (next + k) % n;
            if (!used[static_cast<std::size_t>(d)] && !playing[static_cast<std::size_t>(d)])
                found = d;
        }
        if (found < 0) break;
        used[static_cast<std::size_t>(found)] = true;
        out.push_back(found);
        next = (found + 1) % n;
    }
    return out;
}

} // namespace vyn
