#pragma once
// Opening a local file with FFmpeg, as the decoder and the tag reader both do: the "file"
// protocol only (so "http:x" or "a:b.mp3" name local files, and nothing else is ever opened),
// and only the demuxers of the kind the file sniffed as. FFmpeg's own log is silenced.

#include "audio/AudioDecoder.h"

#include <string>

struct AVFormatContext;

namespace vyn {

// The demuxers a file of this kind may be read by; nullptr for a kind no demuxer is allowed for.
// ADTS AAC starts with an MPEG sync word, so it sniffs as MP3.
const char* ffmpegDemuxersFor(AudioKind kind);

void quietFfmpegLog();

// avformat_open_input on "file:" + path with those limits; returns its result (negative on
// failure, with *format left null).
int openLocalFileWithFfmpeg(AVFormatContext** format, const std::string& path,
                            const char* demuxers);

} // namespace vyn
