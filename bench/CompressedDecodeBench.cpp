// MP3 and FLAC decoding through the FFmpeg platform decoder (to 16-bit stereo), in times real
// time, against FFmpeg's own plain decode loop (demux and decode, no conversion) on the same
// files in the same run. Figures are from CPU time: wall time on a shared machine mostly
// measures the neighbours.

#include "audio/AudioDecoder.h"
#include "audio/FfmpegDecoder.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr double kSeconds = 60.0;

std::filesystem::path scratch() {
    static const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vyn-codec-bench-" + std::to_string(getpid()));
    return dir;
}

// A minute of music-like material (two tones and a decaying noise burst on each beat), encoded
// by the ffmpeg command-line tool.
const std::string& encoded(const std::string& extension) {
    static std::map<std::string, std::string> files;
    auto it = files.find(extension);
    if (it != files.end()) return it->second;
    std::filesystem::create_directories(scratch());
    const std::string wav = (scratch() / "source.wav").string();
    if (!std::filesystem::exists(wav)) {
        const auto frames = static_cast<std::uint32_t>(kSeconds * kRate);
        std::vector<std::int16_t> s(frames * 2);
        std::uint32_t noise = 1;
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            noise = noise * 1664525u + 1013904223u;
            const double beat = std::exp(-8.0 * std::fmod(t, 0.5));
            const double n = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * beat;
            s[2 * i] = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * 220 * t) +
                                                 3000 * std::sin(2 * M_PI * 1760 * t) + 6000 * n);
            s[2 * i + 1] =
                static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * 330 * t) +
                                          3000 * std::sin(2 * M_PI * 2640 * t) + 6000 * n);
        }
        std::FILE* f = std::fopen(wav.c_str(), "wb");
        const std::uint32_t bytes = frames * 4;
        const std::uint32_t header[] = {0x46464952u, 36 + bytes,  0x45564157u, 0x20746d66u,
                                        16,          0x00020001u, kRate,       kRate * 4,
                                        0x00100004u, 0x61746164u, bytes};
        std::fwrite(header, sizeof header, 1, f);
        std::fwrite(s.data(), 2, s.size(), f);
        std::fclose(f);
    }
    const std::string out = (scratch() / ("track." + extension)).string();
    const std::string codec = extension == "mp3" ? "-c:a libmp3lame -b:a 320k" : "-c:a flac";
    const std::string cmd = "ffmpeg -v error -y -i '" + wav + "' " + codec + " '" + out + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not run: %s\n", cmd.c_str());
    return files[extension] = out;
}

const char* extensionOf(std::int64_t arg) {
    return arg == 0 ? "mp3" : "flac";
}

void VynDecode(benchmark::State& state) {
    const std::string& path = encoded(extensionOf(state.range(0)));
    const vyn::AudioKind kind = state.range(0) == 0 ? vyn::AudioKind::Mp3 : vyn::AudioKind::Flac;
    double seconds = 0;
    for (auto _ : state) {
        vyn::DecodeResult r;
        vyn::FfmpegDecoder::decodeFile(r, path, kind);
        if (!r.ok) {
            state.SkipWithError(r.error.c_str());
            break;
        }
        seconds += static_cast<double>(r.frames) / r.sampleRate;
        benchmark::DoNotOptimize(r.samples.data());
    }
    state.counters["xRealTime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

// Demux and decode only: the least any FFmpeg-based decoder must do.
void FfmpegPlainLoop(benchmark::State& state) {
    const std::string& path = encoded(extensionOf(state.range(0)));
    av_log_set_level(AV_LOG_QUIET);
    double seconds = 0;
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format, nullptr) < 0) {
            state.SkipWithError("FFmpeg could not open the file");
            break;
        }
        const AVCodec* codec = nullptr;
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        AVCodecContext* ctx = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(ctx, format->streams[stream]->codecpar);
        avcodec_open2(ctx, codec, nullptr);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        std::int64_t samples = 0;
        auto drain = [&] {
            while (avcodec_receive_frame(ctx, frame) == 0) {
                samples += frame->nb_samples;
                av_frame_unref(frame);
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream) avcodec_send_packet(ctx, packet);
            av_packet_unref(packet);
            drain();
        }
        avcodec_send_packet(ctx, nullptr);
        drain();
        seconds += static_cast<double>(samples) / ctx->sample_rate;
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&ctx);
        avformat_close_input(&format);
    }
    state.counters["xRealTime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

BENCHMARK(VynDecode)->ArgName("flac")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(FfmpegPlainLoop)->ArgName("flac")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        for (int arg : {0, 1}) {
            const std::string suffix = "/flac:" + std::to_string(arg);
            const auto ours = times_.find("VynDecode" + suffix);
            const auto ref = times_.find("FfmpegPlainLoop" + suffix);
            if (ours == times_.end() || ref == times_.end() || ours->second <= 0) continue;
            std::printf("%s, 60 s: VYN %.0fx real time, FFmpeg plain loop %.0fx (CPU time); speed "
                        "VYN / FFmpeg = %.2f\n",
                        arg == 0 ? "MP3" : "FLAC", kSeconds * 1000.0 / ours->second,
                        kSeconds * 1000.0 / ref->second, ref->second / ours->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(scratch(), ec);
    return 0;
}
