// WAV decoding of a five-minute stereo track at 16 and 24 bits: decodeFile (read and converted to
// 16-bit stereo in one pass) against libsndfile reading the same file into 16-bit samples, in
// the same run. Prints the speed ratio VYN / libsndfile (above 1 means VYN is faster), from CPU
// time (user and system, so the reads count): wall time on a shared machine mostly measures the
// neighbours.

#include "audio/AudioDecoder.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sndfile.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint64_t kFrames = 5ull * 60 * kRate;

std::filesystem::path scratch() {
    static const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vyn-wav-bench-" + std::to_string(getpid()));
    return dir;
}

void putLe(std::vector<unsigned char>& b, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// A plain PCM WAV of a stereo tone pair at `bits` (16 or 24).
const std::string& wavFile(int bits) {
    static std::map<int, std::string> files;
    auto it = files.find(bits);
    if (it != files.end()) return it->second;
    std::filesystem::create_directories(scratch());
    const std::string path = (scratch() / ("track" + std::to_string(bits) + ".wav")).string();
    const int bytes = bits / 8;
    std::vector<unsigned char> b;
    const std::uint64_t dataBytes = kFrames * 2 * bytes;
    b.reserve(44 + dataBytes);
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    putLe(b, 36 + dataBytes, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(b, 16, 4);
    putLe(b, 1, 2);
    putLe(b, 2, 2);
    putLe(b, kRate, 4);
    putLe(b, kRate * 2 * bytes, 4);
    putLe(b, 2 * bytes, 2);
    putLe(b, bits, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    putLe(b, dataBytes, 4);
    const double full = bits == 16 ? 32767.0 : 8388607.0;
    for (std::uint64_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        putLe(b,
              static_cast<std::uint64_t>(
                  static_cast<std::int64_t>(0.5 * full * std::sin(2 * M_PI * 440 * t))),
              bytes);
        putLe(b,
              static_cast<std::uint64_t>(
                  static_cast<std::int64_t>(0.4 * full * std::sin(2 * M_PI * 660 * t))),
              bytes);
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    return files[bits] = path;
}

void VynDecode(benchmark::State& state) {
    const std::string& path = wavFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        vyn::DecodeResult r = vyn::decodeFile(path);
        if (!r.ok || r.frames != kFrames) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(r.samples.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFrames));
}

void LibsndfileRead(benchmark::State& state) {
    const std::string& path = wavFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
        if (!sf) {
            state.SkipWithError("libsndfile could not open the file");
            break;
        }
        std::vector<short> samples(static_cast<std::size_t>(info.frames) * info.channels);
        const sf_count_t got = sf_readf_short(sf, samples.data(), info.frames);
        sf_close(sf);
        if (got != static_cast<sf_count_t>(kFrames)) state.SkipWithError("short read");
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFrames));
}

BENCHMARK(VynDecode)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(LibsndfileRead)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        for (int bits : {16, 24}) {
            const auto ours = times_.find("VynDecode/" + std::to_string(bits));
            const auto ref = times_.find("LibsndfileRead/" + std::to_string(bits));
            if (ours == times_.end() || ref == times_.end() || ours->second <= 0) continue;
            std::printf(
                "%d-bit WAV, 5 min: speed VYN / libsndfile = %.2f (CPU %.1f ms vs %.1f ms)\n", bits,
                ref->second / ours->second, ours->second, ref->second);
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
