#pragma once
// Import of a stick export into the catalogue: every track of its export.pdb becomes a catalogue
// track (grids and cues come from the analysis files when the track is loaded), except a row
// whose file path would leave the stick, and the playlist tree replaces the catalogue's under a
// root folder named "USB". The database is read and turned
// into records without the catalogue lock; the lock is taken only to merge, and only when the
// read succeeded, so a failed import changes nothing.
//
// Threading: importUsbStick may run on any thread; it takes the catalogue lock itself for the
// merge, so the caller must not hold it. The other functions are pure.

#include "library/Catalogue.h"
#include "library/ImportCounts.h"
#include "library/PdbReader.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace vyn {

struct UsbImportOptions {
    // Read each track's analysis files now (light mode) for its grid and cues, as a dump of the
    // stick needs them; the app leaves them to the loader.
    bool readAnalysis = false;
};

ImportResult importUsbStick(Catalogue& catalogue, const std::string& stickRoot,
                            const UsbImportOptions& options = {});

// The stick root without trailing "/" and "\".
std::string trimStickRoot(const std::string& root);
// A path from the database resolved against the (trimmed) stick root: "/x" and "x" both give
// root + "/x". Empty for an empty value, and for a value that could leave the stick (a ".."
// component) or that holds a NUL.
std::string resolveStickPath(const std::string& root, const std::string& value);

// The playlist tree of the database under a "USB" root folder, with database track ids mapped to
// catalogue ids (ids without a track are dropped). Each playlist id is built once, where it is
// first reached, so duplicate or cyclic ids cannot multiply nodes; nesting deeper than
// kMaxPlaylistDepth is cut. `playlists` receives the number of distinct non-folder rows.
PlaylistNode buildUsbPlaylistTree(const std::vector<PdbPlaylist>& rows,
                                  const std::unordered_map<std::uint32_t, std::uint32_t>& trackIds,
                                  std::uint64_t& playlists);

} // namespace vyn
