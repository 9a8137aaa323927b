// Reading the analysis of one track whose file holds full detail waveforms (about 250 KB, as an
// .EXT of a six-minute track): light mode by path, which skips the waveform bodies, against full
// mode by path (the whole file read and parsed) as the reference measured in the same run.

#include "library/AnlzReader.h"
#include "library/AnlzWriter.h"
#include "support/FileIo.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

const std::string& analysisFile() {
    static const std::string path = [] {
        using vyn::test::AnlzWriter;
        std::vector<vyn::test::AnlzBeat> beats;
        for (std::uint32_t i = 0; i < 768; ++i)
            beats.push_back({static_cast<std::uint16_t>(i % 4 + 1), 12800, 25 + i * 469});
        const std::size_t columns = 360 * 150;
        const std::string file =
            (std::filesystem::temp_directory_path() / "vyn-bench-analysis.EXT").string();
        const std::string bytes =
            AnlzWriter()
                .section("PPTH", std::string(4, '\0'), std::string(100, 'p'))
                .waveform(false, std::vector<std::uint16_t>(columns, 0x45))
                .cueList({{1, 1, 1000}, {2, 1, 30000}, {3, 2, 60000, 64000}})
                .cueList({{0, 1, 500}}, false)
                .extendedCueList({{1, 1, 1000}, {2, 1, 30000}, {3, 2, 60000, 64000}})
                .beatGrid(beats)
                .waveform(true, std::vector<std::uint16_t>(columns, 0x7C84))
                .section("PWV4", std::string(12, '\0'), std::string(7200, 'w'))
                .section("PWV7", std::string(12, '\0'), std::string(columns * 3, 'c'))
                .build();
        return vyn::writeFileAtomically(file, bytes, nullptr) ? file : std::string();
    }();
    return path;
}

void readAnalysis(benchmark::State& state, bool full) {
    const std::string& file = analysisFile();
    for (auto _ : state) {
        const vyn::AnlzResult r = vyn::readAnlzFile(file, full);
        if (!r.ok || r.grid.beats.size() != 768 || r.cues.size() != 7)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(r.cues.data());
    }
    state.counters["fileKiB"] = static_cast<double>(std::filesystem::file_size(file)) / 1024.0;
}

void AnlzLightRead(benchmark::State& state) {
    readAnalysis(state, false);
}
BENCHMARK(AnlzLightRead)->Unit(benchmark::kMicrosecond)->UseRealTime();

void AnlzFullRead(benchmark::State& state) {
    readAnalysis(state, true);
}
BENCHMARK(AnlzFullRead)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
