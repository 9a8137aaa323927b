// Importing a music folder of 2,000 tagged files (WAV, MP3, FLAC, M4A, Ogg; made with ffmpeg,
// 400 of each, in 20 folders): listing the folder, reading every file's tags, merging the tracks.
// The files are read once before timing, so they come from the page cache. The import runs on one
// thread. Goal: over 1,000 files per second.

#include "library/Catalogue.h"
#include "library/MusicFolderImport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 2000;

// The folder, made once per run and removed at exit; empty when ffmpeg could not make the
// templates.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("vyn-music-bench-" + std::to_string(getpid()));
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

const std::string& musicFolder() {
    static Scratch scratch;
    static const std::string root = []() -> std::string {
        const fs::path& dir = scratch.dir;
        fs::remove_all(dir);
        fs::create_directories(dir / "templates");
        const char* formats[] = {"wav", "mp3", "flac", "m4a", "ogg"};
        for (const char* ext : formats) {
            const std::string out = (dir / "templates" / (std::string("t.") + ext)).string();
            const std::string cmd =
                "ffmpeg -v error -y -f lavfi -i sine=f=440:d=2 -ac 2 -metadata title=Title "
                "-metadata artist=Artist -metadata album=Album -metadata genre=House "
                "-metadata TBPM=126 -metadata BPM=126 -metadata TKEY=Am -movflags "
                "use_metadata_tags '" +
                out + "' 2>/dev/null";
            if (std::system(cmd.c_str()) != 0) return {};
        }
        const fs::path music = dir / "Music";
        for (int i = 0; i < kFiles; ++i) {
            const fs::path folder = music / ("Folder " + std::to_string(i % 20));
            fs::create_directories(folder);
            const char* ext = formats[i % 5];
            fs::copy_file(dir / "templates" / (std::string("t.") + ext),
                          folder / ("track " + std::to_string(i) + "." + ext));
        }
        return music.string();
    }();
    return root;
}

void MusicFolderImport2000Files(benchmark::State& state) {
    const std::string& root = musicFolder();
    if (root.empty()) {
        state.SkipWithError("ffmpeg could not make the template files");
        return;
    }
    {
        vyn::Catalogue warm; // reads every file once: the timed runs find them cached
        vyn::importMusicFolder(warm, root);
    }
    double wall = 0.0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        auto catalogue = std::make_unique<vyn::Catalogue>();
        const vyn::MusicFolderImport r = vyn::importMusicFolder(*catalogue, root);
        if (!r.result.ok || r.result.counts.tracks != kFiles) state.SkipWithError("import failed");
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.PauseTiming();
        catalogue.reset();
        state.ResumeTiming();
    }
    // Per second of the process's processor time (one core's work), and per second of wall
    // time on this machine as loaded as it was.
    state.counters["files_per_cpu_s"] =
        benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["files_per_wall_s"] =
        static_cast<double>(kFiles) * static_cast<double>(state.iterations()) / wall;
}
BENCHMARK(MusicFolderImport2000Files)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
