#pragma once
// Registers the platform decoders (compressed formats) with the audio file decoder. Called once
// at start-up by every host, before any load.

namespace vyn {

void registerPlatformDecoders();

} // namespace vyn
