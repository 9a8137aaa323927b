#include "common/SinkRecorder.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace vyn::test {

SinkRecorder::SinkRecorder(const std::string& sink, int channels, const std::string& path)
    : channels_(channels), path_(path),
      process_("parec -d " + sink + ".monitor --no-remap --no-remix --format=float32le " +
               "--rate=48000 --channels=" + std::to_string(channels) + " > '" + path +
               "' 2>/dev/null") {}

std::size_t SinkRecorder::frames() const {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path_, ec);
    return ec ? 0 : static_cast<std::size_t>(bytes / sizeof(float) / channels_);
}

std::vector<float> SinkRecorder::read(std::size_t from) const {
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from * sizeof(float) * channels_));
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<float> samples(bytes.size() / sizeof(float) / channels_ * channels_);
    // Nothing may be recorded yet, and memcpy must not see the empty vector's null data.
    if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

bool SinkRecorder::waitForSound(int channel, double seconds, double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000));
    do {
        const auto stretches = soundingStretches(read(), channels_, channel, 0.1);
        if (soundingSeconds(stretches, channels_) >= seconds) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::vector<float> SinkRecorder::stop() {
    process_.signal(SIGINT);
    process_.wait();
    return read();
}

std::vector<std::vector<float>> soundingStretches(const std::vector<float>& x, int channels,
                                                  int channel, double minSeconds) {
    const auto n = static_cast<std::size_t>(channels);
    const std::size_t frames = x.size() / n;
    const std::size_t minFrames = static_cast<std::size_t>(minSeconds * 48000.0);
    constexpr std::size_t kGap = 32;    // quiet samples that end a stretch
    constexpr std::size_t kMargin = 48; // dropped at each end of a stretch (1 ms)
    std::vector<std::vector<float>> stretches;
    const auto keep = [&](std::size_t begin, std::size_t end) {
        if (end < begin + 2 * kMargin + minFrames) return;
        stretches.emplace_back(x.begin() + static_cast<std::ptrdiff_t>((begin + kMargin) * n),
                               x.begin() + static_cast<std::ptrdiff_t>((end - kMargin) * n));
    };
    std::size_t start = frames; // none open
    std::size_t quiet = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        if (std::fabs(x[f * n + static_cast<std::size_t>(channel)]) >= 0.01f) {
            if (start == frames) start = f;
            quiet = 0;
        } else if (++quiet == kGap && start != frames) {
            keep(start, f + 1 - kGap);
            start = frames;
        }
    }
    if (start != frames) keep(start, frames - quiet);
    return stretches;
}

double soundingSeconds(const std::vector<std::vector<float>>& stretches, int channels) {
    std::size_t samples = 0;
    for (const auto& s : stretches)
        samples += s.size();
    return static_cast<double>(samples) / static_cast<double>(channels) / 48000.0;
}

} // namespace vyn::test
