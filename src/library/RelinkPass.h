#pragma once
// The relink pass over the whole catalogue: every track whose file is not where the catalogue
// says is looked for again (RelinkIndex), and the tracks still not found become the missing set.
// The catalogue lock is held only to copy the tracks' paths and to write the results back, each
// in short turns; the file-system work (existence checks, the scan) happens without it.
//
// Threading: the library job thread; the caller must not hold the catalogue lock.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

class Catalogue;
class MissingTracks;
class RelinkIndex;

struct RelinkResult {
    std::uint64_t relinked = 0; // found at a relinked place (found now or earlier)
    std::uint64_t missing = 0;
    std::uint64_t fine = 0; // found at their own path
    std::vector<std::string> folders;
};

// One pass, and when tracks are still missing, scanning is allowed and the name index is empty,
// a scan of the folders and a second pass, whose counts are the result.
// `cancel`, when set, cuts the scan short.
RelinkResult relinkCatalogue(Catalogue& catalogue, MissingTracks& missing, RelinkIndex& index,
                             bool scanAllowed, const std::atomic<bool>* cancel = nullptr);

// "Relinked N tracks" and, when some are still missing, ", M still missing".
std::string relinkReport(const RelinkResult& result);

} // namespace vyn
