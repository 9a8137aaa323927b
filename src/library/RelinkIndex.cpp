#include "library/RelinkIndex.h"

#include "support/FileIo.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vyn {
namespace fs = std::filesystem;
namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

struct Component {
    std::size_t start;
    std::size_t length;
};

std::vector<Component> componentsOf(const std::string& path) {
    std::vector<Component> out;
    std::size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && isSeparator(path[i]))
            ++i;
        const std::size_t start = i;
        while (i < path.size() && !isSeparator(path[i]))
            ++i;
        if (i > start) out.push_back({start, i - start});
    }
    return out;
}

// `base` + "/" + the components from `first` on, joined by "/".
std::string joinFrom(const std::string& base, const std::string& path,
                     const std::vector<Component>& parts, std::size_t first) {
    std::string out = base;
    for (std::size_t i = first; i < parts.size(); ++i) {
        out += '/';
        out.append(path, parts[i].start, parts[i].length);
    }
    return out;
}

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(pathFromUtf8(path), ec);
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string trimSeparators(std::string path) {
    while (!path.empty() && isSeparator(path.back()))
        path.pop_back();
    return path;
}

} // namespace

std::string RelinkIndex::normalise(const std::string& path) {
    if (path.empty()) return {};
    std::string out = utf8FromPath(pathFromUtf8(path).lexically_normal().make_preferred());
    while (out.size() > 1 && isSeparator(out.back()))
        out.pop_back();
    return out;
}

void RelinkIndex::addFolder(const std::string& path) {
    const std::string trimmed = trimSeparators(path);
    if (trimmed.empty()) return;
    std::string folder = normalise(trimmed);
    if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end())
        folders_.push_back(std::move(folder));
}

std::string RelinkIndex::findReplacement(const std::string& missingPath) {
    if (missingPath.empty()) return {};
    std::error_code ec;
    if (fs::exists(pathFromUtf8(missingPath), ec)) return missingPath;
    if (std::string found = byRule(missingPath); !found.empty()) return found;
    if (std::string found = bySuffix(missingPath); !found.empty()) return found;
    return byName(missingPath);
}

// A rule applies where the old prefix ends at a component boundary: the rule for "/old" says
// nothing about "/older".
std::string RelinkIndex::byRule(const std::string& path) const {
    for (const RelinkRule& rule : rules_) {
        const std::string& old = rule.oldPrefix;
        if (path.compare(0, old.size(), old) != 0) continue;
        if (path.size() > old.size() && !isSeparator(path[old.size()])) continue;
        const std::string rest = path.substr(old.size());
        const std::string candidate = joinFrom(rule.newPrefix, rest, componentsOf(rest), 0);
        if (isRegularFile(candidate)) return normalise(candidate);
    }
    return {};
}

std::string RelinkIndex::bySuffix(const std::string& path) {
    const std::vector<Component> parts = componentsOf(path);
    const std::size_t k = std::min(parts.size(), kSuffixComponents);
    for (const std::string& folder : folders_) {
        for (std::size_t m = k; m >= 1; --m) {
            const std::size_t first = parts.size() - m;
            const std::string candidate = joinFrom(folder, path, parts, first);
            if (!isRegularFile(candidate)) continue;
            const std::string oldPrefix = trimSeparators(path.substr(0, parts[first].start));
            RelinkRule rule{oldPrefix, folder};
            if (!oldPrefix.empty() && std::find(rules_.begin(), rules_.end(), rule) == rules_.end())
                rules_.push_back(std::move(rule));
            return normalise(candidate);
        }
    }
    return {};
}

std::string RelinkIndex::byName(const std::string& path) const {
    const auto it = names_.find(lowerAscii(fileNameOf(path)));
    if (it == names_.end() || it->second.empty()) return {};
    if (it->second.size() == 1) return it->second.front();
    const std::vector<Component> parts = componentsOf(path);
    if (parts.size() < 2) return {};
    const Component parent = parts[parts.size() - 2];
    const std::string_view wanted(path.data() + parent.start, parent.length);
    for (const std::string& candidate : it->second) {
        const std::vector<Component> c = componentsOf(candidate);
        if (c.size() < 2) continue;
        const Component p = c[c.size() - 2];
        if (std::string_view(candidate.data() + p.start, p.length) == wanted) return candidate;
    }
    return {};
}

std::size_t RelinkIndex::scan(std::size_t limit, const std::atomic<bool>* cancel) {
    names_.clear();
    indexed_ = 0;
    for (const std::string& folder : folders_) {
        std::error_code ec;
        fs::recursive_directory_iterator it(pathFromUtf8(folder),
                                            fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator() && indexed_ < limit;
             it.increment(ec)) {
            if (cancel && cancel->load(std::memory_order_relaxed)) return indexed_;
            std::error_code typeError;
            if (!it->is_regular_file(typeError)) continue;
            const std::string full = normalise(utf8FromPath(it->path()));
            names_[lowerAscii(fileNameOf(full))].push_back(full);
            ++indexed_;
        }
        if (indexed_ >= limit) break;
    }
    return indexed_;
}

} // namespace vyn
