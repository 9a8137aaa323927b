// Any bytes given to the database reader: it must never read outside the input, and whatever it
// accepts must build a finite playlist tree with valid text.

#include "FuzzTarget.h"
#include "library/PdbReader.h"
#include "library/UsbImport.h"
#include "support/Utf8.h"

VYN_FUZZ_TARGET(pdb) {
    const vyn::PdbDatabase db = vyn::parseExportPdb(data, size);
    if (!db.ok) return;
    std::unordered_map<std::uint32_t, std::uint32_t> ids;
    for (const vyn::PdbTrackRow& t : db.tracks) {
        vyn::fuzz::require(vyn::utf8::isValid(t.title) && vyn::utf8::isValid(t.filePath),
                           "track text is valid UTF-8");
        ids[t.id] = static_cast<std::uint32_t>(ids.size() + 1);
    }
    std::uint64_t playlists = 0;
    const vyn::PlaylistNode root = vyn::buildUsbPlaylistTree(db.playlists, ids, playlists);
    vyn::fuzz::require(root.name == "USB" && playlists <= db.playlists.size(),
                       "the tree holds each playlist at most once under USB");
}
