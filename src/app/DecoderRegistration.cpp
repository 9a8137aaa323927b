#include "app/DecoderRegistration.h"

#include "audio/AudioDecoder.h"
#include "audio/FfmpegDecoder.h"

namespace vyn {

// WAV and AIFF need no registration; every other format goes through FFmpeg.
void registerPlatformDecoders() {
    registerFileDecoder(&FfmpegDecoder::decodeFile);
    registerDescriptorDecoder(&FfmpegDecoder::decodeDescriptor);
}

} // namespace vyn
