// The AIFF and AIFC parser on any bytes; see AudioFileFuzz.h.

#include "AudioFileFuzz.h"

VYN_FUZZ_TARGET(aiff) {
    vyn::fuzz::checkAudioFile(vyn::detail::parseAiffLayout, data, size);
}
