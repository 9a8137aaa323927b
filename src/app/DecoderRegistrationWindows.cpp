#include "app/DecoderRegistration.h"

#include "audio/AudioDecoder.h"
#include "audio/MediaFoundationDecoder.h"

namespace vyn {

// WAV and AIFF need no registration; every other format goes through Media Foundation.
void registerPlatformDecoders() {
    registerFileDecoder(&MediaFoundationDecoder::decodeFile);
    registerDescriptorDecoder(&MediaFoundationDecoder::decodeDescriptor);
}

} // namespace vyn
