// The WAV parser (RIFF, RF64, PCM, float, extensible) on any bytes; see AudioFileFuzz.h.

#include "AudioFileFuzz.h"

VYN_FUZZ_TARGET(wav) {
    vyn::fuzz::checkAudioFile(vyn::detail::parseWavLayout, data, size);
}
