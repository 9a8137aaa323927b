#pragma once
// The Linux platform decoder: compressed audio (MP3, FLAC, M4A/AAC, Ogg) through FFmpeg, to
// interleaved stereo 16-bit at the file's own sample rate. Installed as the decoder hooks by
// registerPlatformDecoders().
//
// - Mono is duplicated to both sides. Files with more than two channels are mixed down to stereo
//   by the standard matrix of StereoDownmix.h, as the WAV and AIFF parsers do.
// - Local files only: every path names a local file (the "file" protocol, so "http:" or
//   "pipe:" at its start is part of a file name), FFmpeg may open nothing else (nested opens
//   included), and the demuxer is limited to those of the sniffed format.
// - Encoder delay and padding are trimmed where the file declares them. FFmpeg itself drops the
//   delay a LAME header or an MP4 edit list declares, and the MP3 end padding; the padding of
//   the last AAC frame in MP4 is cut here, to the length the container declares.
// - FFmpeg's own log is silenced.
//
// Threading: both entry points are reentrant; each call owns its FFmpeg objects.

#include "audio/AudioDecoder.h"

#include <string>

namespace vyn {

class FfmpegDecoder {
public:
    // Hook signatures of AudioDecoder.h.
    static void decodeFile(DecodeResult& out, const std::string& path, AudioKind kind);
    // Reads the descriptor through its own offsets (pread); the descriptor's position is left
    // alone and it is not closed.
    static void decodeDescriptor(DecodeResult& out, int descriptor, AudioKind kind);
};

} // namespace vyn
