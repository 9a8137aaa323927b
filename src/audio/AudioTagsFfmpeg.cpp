// Tags through FFmpeg's demuxers: the container's metadata (and the audio stream's, where Ogg
// keeps its comments) under the names FFmpeg gives them, without decoding any audio.

#include "audio/AudioDecoder.h"
#include "audio/AudioTags.h"
#include "audio/FfmpegInput.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

extern "C" {
#include <libavformat/avformat.h>
}

namespace vyn {
namespace {

AudioTags failure(const char* text) {
    AudioTags t;
    t.error = text;
    return t;
}

// The first of `names` present in the container's or the audio stream's metadata (FFmpeg
// compares names without case).
std::string firstTag(const AVFormatContext* format, const AVStream* stream,
                     std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (const AVDictionaryEntry* e = av_dict_get(format->metadata, name, nullptr, 0))
            if (e->value && e->value[0]) return e->value;
        if (stream)
            if (const AVDictionaryEntry* e = av_dict_get(stream->metadata, name, nullptr, 0))
                if (e->value && e->value[0]) return e->value;
    }
    return {};
}

double secondsOf(const AVFormatContext* format, const AVStream* stream) {
    if (format->duration > 0) return static_cast<double>(format->duration) / AV_TIME_BASE;
    if (stream && stream->duration > 0 && stream->time_base.num > 0 && stream->time_base.den > 0)
        return static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    return 0.0;
}

const AVStream* audioStream(const AVFormatContext* format) {
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return format->streams[i];
    return nullptr;
}

} // namespace

AudioTags readAudioTags(const std::string& path) {
    if (path.empty()) return failure("could not open the file");
    unsigned char head[16] = {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return failure("could not open the file");
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    const char* demuxers = ffmpegDemuxersFor(sniff(head, got));
    if (!demuxers) return failure("not an audio file");

    AVFormatContext* format = nullptr;
    const int rc = openLocalFileWithFfmpeg(&format, path, demuxers);
    if (rc < 0) return failure("FFmpeg could not read the file");

    const AVStream* stream = audioStream(format);
    // Most containers state their length in the header; the rest (an MP3 without a Xing frame)
    // need FFmpeg's estimate, which reads a little of the stream.
    if ((!stream || secondsOf(format, stream) <= 0.0) &&
        avformat_find_stream_info(format, nullptr) >= 0)
        stream = audioStream(format);
    if (!stream) {
        avformat_close_input(&format);
        return failure("the file holds no audio");
    }

    AudioTags t;
    t.ok = true;
    t.title = firstTag(format, stream, {"title"});
    t.artist = firstTag(format, stream, {"artist", "album_artist"});
    t.album = firstTag(format, stream, {"album"});
    t.genre = firstTag(format, stream, {"genre"});
    t.key = firstTag(format, stream, {"TKEY", "initialkey", "key"});
    t.bpm = parseTagBpm(firstTag(format, stream, {"TBPM", "bpm", "tmpo"}));
    t.year = parseTagYear(firstTag(format, stream, {"date", "year", "TYER", "TDRC"}));
    const double seconds = secondsOf(format, stream);
    t.duration = std::isfinite(seconds) && seconds > 0.0 && seconds < 1.0e7 ? seconds : 0.0;
    if (stream->codecpar->sample_rate > 0) t.sampleRate = stream->codecpar->sample_rate;
    const std::int64_t bits =
        stream->codecpar->bit_rate > 0 ? stream->codecpar->bit_rate : format->bit_rate;
    if (bits > 0 && bits / 1000 < INT32_MAX) t.bitRate = static_cast<std::int32_t>(bits / 1000);
    avformat_close_input(&format);
    return t;
}

} // namespace vyn
