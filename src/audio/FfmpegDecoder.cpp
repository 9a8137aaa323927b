#include "audio/FfmpegDecoder.h"

#include "audio/FfmpegInput.h"
#include "audio/LargeBufferHint.h"
#include "support/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace vyn {

namespace {

constexpr int kIoBufferBytes = 65536;
// Reserve no more than this up front from a container's duration (it may lie).
constexpr std::uint64_t kMaxReserveValues = 1ull << 28;

std::string kindText(AudioKind kind) {
    return audioKindName(kind);
}

// FFmpeg probes the content, and anything the sniffed kind's demuxers do not cover (playlists,
// concatenation lists, images) is refused. A file that sniffed as WAV or AIFF reaches FFmpeg only
// when our own parsers refused it, and may then be any audio container.
const char* demuxersFor(AudioKind kind) {
    switch (kind) {
    case AudioKind::Mp3:
    case AudioKind::Flac:
    case AudioKind::M4a:
    case AudioKind::Ogg:
        return ffmpegDemuxersFor(kind);
    default:
        return "mp3,aac,flac,mov,ogg,wav,aiff,w64";
    }
}

// Reads a descriptor at our own offset, so its shared position is never moved.
struct DescriptorIo {
    int fd = -1;
    std::int64_t position = 0;

    static int read(void* opaque, std::uint8_t* buffer, int size) {
        auto* self = static_cast<DescriptorIo*>(opaque);
        if (size <= 0) return 0;
        const std::int64_t got =
            readDescriptorAt(self->fd, static_cast<std::uint64_t>(self->position), buffer,
                             static_cast<std::size_t>(size));
        if (got < 0) return AVERROR(EIO);
        if (got == 0) return AVERROR_EOF;
        self->position += got;
        return static_cast<int>(got);
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
        auto* self = static_cast<DescriptorIo*>(opaque);
        std::uint64_t size = 0;
        const bool sized = descriptorFileSize(self->fd, size);
        if (whence & AVSEEK_SIZE) return sized ? static_cast<std::int64_t>(size) : -1;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += self->position;
            break;
        case SEEK_END:
            if (!sized) return -1;
            offset += static_cast<std::int64_t>(size);
            break;
        default:
            return -1;
        }
        if (offset < 0) return -1;
        self->position = offset;
        return offset;
    }
};

// Everything one decode owns, released on every path.
struct Session {
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    DescriptorIo descriptor;

    ~Session() {
        swr_free(&swr);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

DecodeResult fail(std::string text) {
    DecodeResult r;
    r.error = std::move(text);
    return r;
}

// The converter's input settings, to notice when a stream changes them mid-way.
struct SwrInput {
    AVChannelLayout layout{};
    int format = -1;
    int rate = 0;
};

class Decoder {
public:
    Decoder(Session& s, AudioKind kind) : s_(s), kind_(kind) {}
    ~Decoder() { av_channel_layout_uninit(&swrIn_.layout); }

    DecodeResult run();

private:
    bool configureConverter(const AVFrame* frame);
    bool appendFrame(const AVFrame* frame);
    // Converts `inSamples` samples (none to flush the converter) and appends them.
    bool convert(const std::uint8_t** in, int inSamples);
    bool drainDecoder();

    Session& s_;
    AudioKind kind_;
    int streamIndex_ = -1;
    int rate_ = 0;
    SwrInput swrIn_;
    int channels_ = 0;    // in the decoded frames
    int outChannels_ = 0; // out of the converter: 2 when it mixes down, else channels_
    std::vector<std::int16_t> scratch_;
    std::vector<std::int16_t> samples_;
    std::uint64_t maxFrames_ = UINT64_MAX; // end of the signal the container declares
};

bool Decoder::configureConverter(const AVFrame* f) {
    if (s_.swr && swrIn_.format == f->format && swrIn_.rate == f->sample_rate &&
        av_channel_layout_compare(&swrIn_.layout, &f->ch_layout) == 0)
        return true;
    swr_free(&s_.swr);
    av_channel_layout_uninit(&swrIn_.layout);
    if (av_channel_layout_copy(&swrIn_.layout, &f->ch_layout) < 0) return false;
    swrIn_.format = f->format;
    swrIn_.rate = f->sample_rate;
    channels_ = f->ch_layout.nb_channels;
    if (channels_ < 1) return false;
    const auto format = static_cast<AVSampleFormat>(f->format);
    if (channels_ > 2) {
        // Surround is mixed down to stereo by the resampler's standard matrix (the one
        // StereoDownmix.h describes). A stream that names no speakers gets the default layout
        // for its channel count, as the WAV and AIFF parsers assume.
        AVChannelLayout in{};
        const bool unnamed = f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC;
        if (unnamed)
            av_channel_layout_default(&in, channels_);
        else if (av_channel_layout_copy(&in, &f->ch_layout) < 0)
            return false;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        const bool mixing = swr_alloc_set_opts2(&s_.swr, &stereo, AV_SAMPLE_FMT_S16, rate_, &in,
                                                format, f->sample_rate, 0, nullptr) >= 0 &&
                            swr_init(s_.swr) >= 0;
        av_channel_layout_uninit(&in);
        if (mixing) {
            outChannels_ = 2;
            return true;
        }
        // A layout the resampler cannot mix (no speaker names at all, or a lone front side):
        // its first two channels are taken as left and right below.
        swr_free(&s_.swr);
    }
    // Same layout out as in: only the sample format changes (and the rate, should a stream change
    // its rate part way).
    outChannels_ = channels_;
    if (swr_alloc_set_opts2(&s_.swr, &swrIn_.layout, AV_SAMPLE_FMT_S16, rate_, &swrIn_.layout,
                            format, f->sample_rate, 0, nullptr) < 0)
        return false;
    return swr_init(s_.swr) >= 0;
}

bool Decoder::appendFrame(const AVFrame* f) {
    if (f->nb_samples <= 0) return true;
    if (!configureConverter(f)) return false;
    return convert(const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
}

bool Decoder::convert(const std::uint8_t** in, int inSamples) {
    const int capacity = swr_get_out_samples(s_.swr, inSamples);
    if (capacity < 0) return false;
    if (capacity == 0) return true;
    const std::size_t have = samples_.size() / 2;
    const std::size_t room = capacity;
    int got = 0;
    if (outChannels_ == 2) {
        // Stereo is converted straight into the result.
        samples_.resize((have + room) * 2);
        auto* out = reinterpret_cast<std::uint8_t*>(samples_.data() + have * 2);
        got = swr_convert(s_.swr, &out, capacity, in, inSamples);
        samples_.resize((have + static_cast<std::size_t>(std::max(got, 0))) * 2);
    } else {
        const std::size_t values = room * static_cast<std::size_t>(outChannels_);
        if (scratch_.size() < values) scratch_.resize(values);
        auto* out = reinterpret_cast<std::uint8_t*>(scratch_.data());
        got = swr_convert(s_.swr, &out, capacity, in, inSamples);
        const std::size_t frames = static_cast<std::size_t>(std::max(got, 0));
        samples_.resize((have + frames) * 2);
        std::int16_t* dst = samples_.data() + have * 2;
        const std::int16_t* src = scratch_.data();
        if (outChannels_ == 1) {
            for (std::size_t i = 0; i < frames; ++i)
                dst[2 * i] = dst[2 * i + 1] = src[i];
        } else {
            const std::size_t stride = static_cast<std::size_t>(outChannels_);
            for (std::size_t i = 0; i < frames; ++i) {
                dst[2 * i] = src[i * stride];
                dst[2 * i + 1] = src[i * stride + 1];
            }
        }
    }
    if (samples_.size() / 2 > maxFrames_) samples_.resize(maxFrames_ * 2);
    return got >= 0;
}

bool Decoder::drainDecoder() {
    for (;;) {
        const int rc = avcodec_receive_frame(s_.codec, s_.frame);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return true; // a damaged frame: skip it, keep the rest of the file
        const bool ok = appendFrame(s_.frame);
        av_frame_unref(s_.frame);
        if (!ok) return false;
    }
}

DecodeResult Decoder::run() {
    const std::string kind = kindText(kind_);
    if (avformat_find_stream_info(s_.format, nullptr) < 0)
        return fail("FFmpeg could not read the file format (" + kind + ")");
    const AVCodec* codec = nullptr;
    streamIndex_ = av_find_best_stream(s_.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (streamIndex_ < 0 || !codec)
        return fail("FFmpeg found no audio it can decode (" + kind + ")");
    AVStream* stream = s_.format->streams[streamIndex_];
    for (unsigned i = 0; i < s_.format->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex_) s_.format->streams[i]->discard = AVDISCARD_ALL;

    s_.codec = avcodec_alloc_context3(codec);
    if (!s_.codec || avcodec_parameters_to_context(s_.codec, stream->codecpar) < 0)
        return fail("out of memory");
    s_.codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(s_.codec, codec, nullptr) < 0)
        return fail("FFmpeg could not open the decoder (" + kind + ")");
    rate_ = s_.codec->sample_rate;
    if (rate_ <= 0) return fail("FFmpeg file has no sample rate");

    // MP4 declares the length of the signal (its edit list); the decoder trims the priming
    // samples at the start but not the padding of the last AAC frame.
    if (kind_ == AudioKind::M4a && stream->duration > 0 && stream->time_base.num > 0 &&
        stream->time_base.den > 0)
        maxFrames_ = static_cast<std::uint64_t>(
            av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate_}));

    double seconds = 0.0;
    if (stream->duration > 0 && stream->time_base.den > 0)
        seconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    else if (s_.format->duration > 0)
        seconds = static_cast<double>(s_.format->duration) / AV_TIME_BASE;
    const double expected = (seconds + 1.0) * rate_ * 2.0;
    if (expected > 0.0 && expected < static_cast<double>(kMaxReserveValues)) {
        samples_.reserve(static_cast<std::size_t>(expected));
        hintLargeBuffer(samples_.data(), samples_.capacity() * sizeof(std::int16_t));
    }

    s_.packet = av_packet_alloc();
    s_.frame = av_frame_alloc();
    if (!s_.packet || !s_.frame) return fail("out of memory");

    bool readError = false;
    for (;;) {
        const int rc = av_read_frame(s_.format, s_.packet);
        if (rc == AVERROR_EOF) break;
        if (rc < 0) {
            readError = true;
            break;
        }
        if (s_.packet->stream_index == streamIndex_) {
            // A packet the decoder rejects is damaged: it is skipped.
            if (avcodec_send_packet(s_.codec, s_.packet) == AVERROR(EAGAIN)) {
                if (!drainDecoder()) return fail("FFmpeg could not convert to 16-bit PCM");
                avcodec_send_packet(s_.codec, s_.packet);
            }
        }
        av_packet_unref(s_.packet);
        if (!drainDecoder()) return fail("FFmpeg could not convert to 16-bit PCM");
    }
    avcodec_send_packet(s_.codec, nullptr);
    if (!drainDecoder()) return fail("FFmpeg could not convert to 16-bit PCM");
    // Samples the converter still holds (only when the stream changed its rate part way).
    if (s_.swr && !convert(nullptr, 0)) return fail("FFmpeg could not convert to 16-bit PCM");
    if (readError && samples_.empty()) return fail("FFmpeg read failed (" + kind + ")");

    if (samples_.size() < 2) return fail("decoded no audio from a file sniffed as " + kind);
    DecodeResult r;
    r.frames = samples_.size() / 2;
    r.samples = std::move(samples_);
    r.sampleRate = static_cast<double>(rate_);
    r.ok = true;
    return r;
}

AVDictionary* openOptions(AudioKind kind) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", demuxersFor(kind), 0);
    return options;
}

DecodeResult decodePath(const std::string& path, AudioKind kind) {
    if (path.empty()) return fail("could not open file");
    Session s;
    const int rc = openLocalFileWithFfmpeg(&s.format, path, demuxersFor(kind));
    if (rc < 0) return fail("FFmpeg could not open the file (sniffed as " + kindText(kind) + ")");
    Decoder decoder(s, kind);
    return decoder.run();
}

DecodeResult decodeFd(int descriptor, AudioKind kind) {
    if (descriptor < 0) return fail("no file descriptor");
    quietFfmpegLog();
    Session s;
    s.descriptor.fd = descriptor;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer) return fail("out of memory");
    s.io = avio_alloc_context(buffer, kIoBufferBytes, 0, &s.descriptor, &DescriptorIo::read,
                              nullptr, &DescriptorIo::seek);
    if (!s.io) {
        av_free(buffer);
        return fail("out of memory");
    }
    s.format = avformat_alloc_context();
    if (!s.format) return fail("out of memory");
    s.format->pb = s.io;
    s.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* options = openOptions(kind);
    const int rc = avformat_open_input(&s.format, nullptr, nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) // avformat_open_input freed the format context, not our I/O context
        return fail("FFmpeg could not decode the descriptor (" + kindText(kind) + ")");
    Decoder decoder(s, kind);
    return decoder.run();
}

} // namespace

void FfmpegDecoder::decodeFile(DecodeResult& out, const std::string& path, AudioKind kind) {
    try {
        out = decodePath(path, kind);
    } catch (const std::bad_alloc&) {
        out = fail("out of memory");
    }
}

void FfmpegDecoder::decodeDescriptor(DecodeResult& out, int descriptor, AudioKind kind) {
    try {
        out = decodeFd(descriptor, kind);
    } catch (const std::bad_alloc&) {
        out = fail("out of memory");
    }
}

} // namespace vyn
