#pragma once
// What an audio file says about itself: its tags (title, artist, album, genre, tempo, key,
// year) and its length, read without decoding the audio. The music-folder import reads every
// file of a folder this way. One implementation per platform (AudioTagsFfmpeg.cpp on Linux).
//
// Only local files are opened, and only by the demuxer of the format their first bytes show
// (WAV, AIFF, MP3, FLAC, M4A/AAC, Ogg); anything else is refused.
//
// Threading: reentrant; each call owns its own objects.

#include <cstdint>
#include <string>

namespace vyn {

struct AudioTags {
    bool ok = false;
    std::string error; // fixed English text when not ok
    std::string title, artist, album, genre, key;
    double bpm = 0.0;      // 0 when untagged or unreadable; tags outside 1-999 count as none
    double duration = 0.0; // seconds; 0 when unknown
    std::int32_t sampleRate = 0;
    std::int32_t bitRate = 0; // kbit/s
    std::int32_t year = 0;    // from the leading digits of a date tag
};

AudioTags readAudioTags(const std::string& path);

// A tag's tempo text ("128", "127.5", "128 BPM") as beats per minute; 0 for anything that is not
// a finite number from 1 to 999.
double parseTagBpm(const std::string& text);
// The year a date tag starts with ("2019", "2019-04-01"); 0 when it starts with no year 1-9999.
std::int32_t parseTagYear(const std::string& text);

} // namespace vyn
