#pragma once
// A folder of audio files as part of the library, for a DJ without a rekordbox export: every
// WAV, AIFF, MP3, FLAC, M4A/AAC and Ogg file under the folder becomes a catalogue track with what
// its tags say (the file name titles an untagged file), and every folder that holds such files
// becomes a playlist. The playlists of all music folders sit under one top-level folder node,
// "Music folders", which the library jobs graft into whatever tree the last import installed.
//
// Importing the same folder again updates its tracks in place (same path, same id), so new files
// appear, removed ones leave the playlists, and unchanged ones keep their ids.
//
// Threading: importMusicFolder runs on the library job thread and takes the catalogue lock itself
// (in short turns, after all tags were read without it); the caller must not hold it. The other
// functions are pure.

#include "library/Catalogue.h"
#include "library/ImportCounts.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

struct AudioTags;

inline constexpr const char* kMusicFoldersNode = "Music folders";
// Files listed per music folder, at most (the relink scan's bound).
inline constexpr std::size_t kMusicFolderFileLimit = 200000;

struct MusicFile {
    std::string path;     // as reached from the root (links not resolved)
    std::string playlist; // the folder's name: the root's own name, then the path below it
};

// True for the audio extensions of the import (case-insensitive).
bool isMusicFileName(std::string_view name);

// The audio files under `root`: each folder's files by name, then its subfolders by name. A folder
// reached through a symbolic link is walked the first time only, and a file reached twice is
// listed once, so link loops end. Stops at `limit` files or when `cancel` is set.
std::vector<MusicFile> listMusicFiles(const std::string& root, std::size_t limit,
                                      const std::atomic<bool>* cancel = nullptr);

// The catalogue record for one file and its tags.
CatalogueTrack musicTrack(const std::string& path, const AudioTags& tags);

struct MusicFolderImport {
    ImportResult result;
    std::vector<PlaylistNode> playlists; // one per folder with tracks, in listing order
};

// Called after each file's tags were read: files done, files in all.
using MusicFolderProgress = std::function<void(std::size_t done, std::size_t total)>;

// Reads every file's tags without the catalogue lock, then adds the tracks in lock turns. A file
// whose tags cannot be read (not audio after all, damaged) is left out. Fails only when `root` is
// not a folder that can be read.
MusicFolderImport importMusicFolder(Catalogue& catalogue, const std::string& root,
                                    const MusicFolderProgress& progress = {},
                                    const std::atomic<bool>* cancel = nullptr);

// Puts `playlists` under a "Music folders" folder at the end of `root`'s children, replacing the
// last child when `replaceLast` (the node grafted before); with no playlists the node is left
// out.
void graftMusicFolders(PlaylistNode& root, std::vector<PlaylistNode> playlists, bool replaceLast);

} // namespace vyn
