#pragma once
// The catalogue tracks whose file was not found at the last relink pass: their effective path
// (the relinked path, else the path) did not exist and no replacement turned up. The library
// window shows "missing" for them and draws them dimmed.
//
// Threading: lives beside the catalogue and is guarded by the catalogue lock; every member
// function requires the caller to hold it.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vyn {

class MissingTracks {
public:
    bool contains(std::uint32_t id) const {
        return std::binary_search(ids_.begin(), ids_.end(), id);
    }
    std::size_t size() const { return ids_.size(); }
    // Replaces the set (the result of a whole pass).
    void assign(std::vector<std::uint32_t> ids) {
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        ids_ = std::move(ids);
    }

private:
    std::vector<std::uint32_t> ids_; // sorted
};

} // namespace vyn
