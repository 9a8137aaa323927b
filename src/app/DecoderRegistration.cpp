#include "app/DecoderRegistration.h"

namespace vyn {

// Compressed formats arrive with the platform decoder; WAV and AIFF need no registration.
void registerPlatformDecoders() {}

} // namespace vyn
