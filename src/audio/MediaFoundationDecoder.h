#pragma once
// The Windows platform decoder: every format other than WAV and AIFF (MP3, FLAC, M4A/AAC, Ogg
// where the system has a decoder for it) through Media Foundation's source reader, to
// interleaved stereo 16-bit PCM at the file's own sample rate. Installed as the decoder hooks of
// AudioDecoder.h by registerPlatformDecoders().
//
// - Media Foundation starts once per process (lite start-up); every call after the first only
//   asks for the remembered answer.
// - Each call joins COM's multithreaded apartment for its own duration (an apartment the thread
//   already has is kept) and releases every COM object it made on every path.
// - A sample without a buffer, or whose buffer cannot be made contiguous or locked, is skipped.
// - Float samples are asked for first and rounded to 16 bits here (the system's own conversion
//   may dither, so one file would decode differently each time); 16-bit PCM where float is
//   refused. The result is checked to be what was asked for; a reader that hands back anything
//   else is treated as refusing that type.
//
// Threading: both entry points are reentrant; each call owns its reader.

#include "audio/AudioDecoder.h"

#include <string>

namespace vyn {

class MediaFoundationDecoder {
public:
    // Hook signatures of AudioDecoder.h.
    static void decodeFile(DecodeResult& out, const std::string& path, AudioKind kind);
    // Reads the whole descriptor from offset 0 into memory; the descriptor is not closed.
    static void decodeDescriptor(DecodeResult& out, int descriptor, AudioKind kind);
};

} // namespace vyn
