#pragma once
// The stick the USB import and the tool tests read: two tracks (one present on disk, one without a
// title), an artist, a key, a folder holding a playlist with an entry that names no track, and
// the present track's analysis file (a grid and two cues).

#include "AnlzWriter.h"
#include "PdbWriter.h"
#include "common/LibraryFixtures.h"

namespace vyn::test {

inline std::string writeSampleStick(const std::string& root) {
    PdbWriter w;
    PdbTrackSpec a;
    a.id = 5;
    a.title = "Alpha";
    a.fileName = "alpha.wav";
    a.filePath = "/Contents/alpha.wav";
    a.analysisPath = "/PIONEER/USBANLZ/P001/ANLZ0000.DAT";
    a.artistId = 1, a.keyId = 2, a.tempo = 12400, a.duration = 200;
    w.addRow(PdbTable::Tracks, pdbTrackRow(a));
    PdbTrackSpec b;
    b.id = 6;
    b.fileName = "beta.mp3"; // no title: the file name stands in
    b.filePath = "Contents/beta.mp3";
    w.addRow(PdbTable::Tracks, pdbTrackRow(b));
    w.addRow(PdbTable::Artists, pdbArtistRow(1, "Artist"));
    w.addRow(PdbTable::Keys, pdbNamedRow(PdbTable::Keys, 2, "Am"));
    w.addRow(PdbTable::PlaylistTree, pdbPlaylistRow(1, 0, 1, true, "Folder"));
    w.addRow(PdbTable::PlaylistTree, pdbPlaylistRow(2, 1, 0, false, "Inside"));
    w.addRow(PdbTable::PlaylistTree, pdbPlaylistRow(3, 0, 0, false, "Top"));
    w.addRow(PdbTable::PlaylistEntries, pdbEntryRow(1, 6, 2));
    w.addRow(PdbTable::PlaylistEntries, pdbEntryRow(2, 5, 2));
    w.addRow(PdbTable::PlaylistEntries, pdbEntryRow(3, 77, 2)); // no such track
    touch(root + "/PIONEER/rekordbox/export.pdb", w.build());
    touch(root + "/Contents/alpha.wav", "RIFF");
    touch(root + a.analysisPath, AnlzWriter()
                                     .beatGrid({{1, 12400, 100}, {2, 12400, 584}})
                                     .cueList({{1, 1, 1000}, {0, 1, 500}})
                                     .build());
    return root;
}

} // namespace vyn::test
