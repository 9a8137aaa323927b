#include "audio/FfmpegInput.h"

#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace vyn {

const char* ffmpegDemuxersFor(AudioKind kind) {
    switch (kind) {
    case AudioKind::Wav:
        return "wav,w64";
    case AudioKind::Aiff:
        return "aiff";
    case AudioKind::Mp3:
        return "mp3,aac";
    case AudioKind::Flac:
        return "flac";
    case AudioKind::M4a:
        return "mov,mp4,m4a,3gp,3g2,mj2";
    case AudioKind::Ogg:
        return "ogg";
    default:
        return nullptr;
    }
}

void quietFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

int openLocalFileWithFfmpeg(AVFormatContext** format, const std::string& path,
                            const char* demuxers) {
    quietFfmpegLog();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", demuxers, 0);
    const std::string url = "file:" + path;
    const int rc = avformat_open_input(format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    return rc;
}

} // namespace vyn
