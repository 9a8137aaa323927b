// Any bytes given to the database reader: it must never read outside the input, and whatever it
// accepts must build a finite playlist tree.

#include "library/PdbReader.h"
#include "library/UsbImport.h"
#include "support/Utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vyn::PdbDatabase db = vyn::parseExportPdb(data, size);
    if (!db.ok) return 0;
    std::unordered_map<std::uint32_t, std::uint32_t> ids;
    for (const vyn::PdbTrackRow& t : db.tracks) {
        if (!vyn::utf8::isValid(t.title) || !vyn::utf8::isValid(t.filePath)) std::abort();
        ids[t.id] = static_cast<std::uint32_t>(ids.size() + 1);
    }
    std::uint64_t playlists = 0;
    const vyn::PlaylistNode root = vyn::buildUsbPlaylistTree(db.playlists, ids, playlists);
    if (root.name != "USB" || playlists > db.playlists.size()) std::abort();
    return 0;
}
