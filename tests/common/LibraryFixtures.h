#pragma once
// Small files and catalogues for the library's tests and the application's: files made on the spot
// (their folders too), a track record, a minimal XML collection, and a stick (whose tests compile
// library/PdbWriter.cpp).

#include "library/Catalogue.h"
#include "library/PdbWriter.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vyn::test {

inline std::string touch(const std::string& path, const std::string& bytes = "x") {
    std::filesystem::create_directories(pathFromUtf8(path).parent_path());
    EXPECT_TRUE(writeFileAtomically(path, bytes, nullptr)) << path;
    return path;
}

inline CatalogueTrack trackAt(std::string path, std::string title = {}, std::string artist = {}) {
    CatalogueTrack t;
    t.path = std::move(path);
    t.title = std::move(title);
    t.artist = std::move(artist);
    return t;
}

struct XmlTrackSpec {
    std::string title, artist, path;
    double bpm = 0.0, seconds = 0.0;
};

// A collection whose root holds one playlist, `playlist`, with every track in order.
inline std::string writeXmlCollection(const std::string& file,
                                      const std::vector<XmlTrackSpec>& tracks,
                                      const std::string& playlist = "Set") {
    std::string xml = "<?xml version=\"1.0\"?><DJ_PLAYLISTS Version=\"1.0.0\"><COLLECTION>";
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const XmlTrackSpec& t = tracks[i];
        xml += "<TRACK TrackID=\"" + std::to_string(i + 1) + "\" Name=\"" + t.title +
               "\" Artist=\"" + t.artist + "\" AverageBpm=\"" + std::to_string(t.bpm) +
               "\" TotalTime=\"" + std::to_string(t.seconds) + "\" Location=\"file://localhost" +
               t.path + "\"/>";
    }
    xml += "</COLLECTION><PLAYLISTS><NODE Type=\"0\" Name=\"ROOT\"><NODE Type=\"1\" Name=\"" +
           playlist + "\">";
    for (std::size_t i = 0; i < tracks.size(); ++i)
        xml += "<TRACK Key=\"" + std::to_string(i + 1) + "\"/>";
    xml += "</NODE></NODE></PLAYLISTS></DJ_PLAYLISTS>";
    return touch(file, xml);
}

// A stick at `root` whose export.pdb lists one track per file name (under /Contents/), in a
// playlist "Stick"; the audio files themselves are written too.
inline std::string writeStick(const std::string& root, const std::vector<std::string>& files) {
    PdbWriter w;
    for (std::size_t i = 0; i < files.size(); ++i) {
        PdbTrackSpec t;
        t.id = static_cast<std::uint32_t>(i + 1);
        t.title = files[i];
        t.fileName = files[i];
        t.filePath = "/Contents/" + files[i];
        w.addRow(PdbTable::Tracks, pdbTrackRow(t));
        w.addRow(PdbTable::PlaylistEntries,
                 pdbEntryRow(static_cast<std::uint32_t>(i + 1), t.id, 1));
        touch(root + t.filePath);
    }
    w.addRow(PdbTable::PlaylistTree, pdbPlaylistRow(1, 0, 0, false, "Stick"));
    touch(root + "/PIONEER/rekordbox/export.pdb", w.build());
    return root;
}

} // namespace vyn::test

namespace vyn {

// A tree that differs from the expected one is shown as a tree, not as the bytes of its root.
inline void PrintTo(const PlaylistNode& node, std::ostream* os) {
    *os << (node.folder ? "folder \"" : "playlist \"") << node.name << '"';
    if (!node.trackIds.empty()) {
        *os << " [";
        for (std::size_t i = 0; i < node.trackIds.size(); ++i)
            *os << (i ? " " : "") << node.trackIds[i];
        *os << ']';
    }
    if (node.children.empty()) return;
    *os << " {";
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        *os << (i ? ", " : "");
        PrintTo(node.children[i], os);
    }
    *os << '}';
}

} // namespace vyn
