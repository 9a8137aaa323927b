#pragma once
// Finding moved files again. The index knows the folders the user added (music folders and
// stick roots), the prefix rules it learned ("what was under D: is now under E:/Backup"), and,
// once scanned, every file under those folders by its lower-cased name. A missing path is looked
// for by rule, then by its last components under each folder, then by its file name.
//
// Paths are UTF-8. The normalised form is lexically normal with the platform's separator ("/" on
// Linux, "\" on Windows) and no trailing separator. Missing paths may come from another machine,
// so they are split into components at both "/" and "\".
//
// Threading: used by the library job thread only (one job at a time; a job starts after the
// previous one was joined). It never touches the catalogue.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vyn {

struct RelinkRule {
    std::string oldPrefix;
    std::string newPrefix;
    bool operator==(const RelinkRule&) const = default;
};

class RelinkIndex {
public:
    static constexpr std::size_t kScanLimit = 200000;
    // The missing path's last components tried under each folder, at most.
    static constexpr std::size_t kSuffixComponents = 8;

    static std::string normalise(const std::string& path);

    // Trailing separators removed; an empty result is ignored; kept in the normalised form,
    // once.
    void addFolder(const std::string& path);
    const std::vector<std::string>& folders() const { return folders_; }
    const std::vector<RelinkRule>& rules() const { return rules_; }

    // Where the file of `missingPath` is now, or empty. A hit of the folder suffix search teaches
    // a rule that finds the next file of the same old folder directly.
    std::string findReplacement(const std::string& missingPath);

    // Rebuilds the name index from the folders, with at most `limit` files in all; stops early
    // when `cancel` is set. Returns the number of files entered.
    std::size_t scan(std::size_t limit = kScanLimit, const std::atomic<bool>* cancel = nullptr);
    std::size_t indexedFiles() const { return indexed_; }

private:
    std::string byRule(const std::string& path) const;
    std::string bySuffix(const std::string& path);
    std::string byName(const std::string& path) const;

    std::vector<std::string> folders_;
    std::vector<RelinkRule> rules_;
    std::unordered_map<std::string, std::vector<std::string>> names_;
    std::size_t indexed_ = 0;
};

} // namespace vyn
