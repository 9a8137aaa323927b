// Windows: tags are not read yet (the music-folder import then names tracks by their files).

#include "audio/AudioTags.h"

namespace vyn {

AudioTags readAudioTags(const std::string&) {
    AudioTags t;
    t.error = "tags are not read in this Windows build yet";
    return t;
}

} // namespace vyn
