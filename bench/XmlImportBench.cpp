// The whole import of a 20,000-track collection export from its file: read, parse, build the
// records, look up the files, merge under the catalogue lock. Once into an empty catalogue and
// once again over the same tracks (every track updated in place).

#include "library/Catalogue.h"
#include "library/XmlCollectionGenerator.h"
#include "library/XmlImport.h"
#include "support/FileIo.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

const std::string& collectionFile() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "vyn-bench-collection.xml").string();
        const auto c = vyn::test::generateXmlCollection(20000, 7, "/music");
        if (!vyn::writeFileAtomically(file, c.xml, nullptr)) return std::string();
        return file;
    }();
    return path;
}

void XmlImportIntoEmptyCatalogue(benchmark::State& state) {
    const std::string& file = collectionFile();
    if (file.empty()) {
        state.SkipWithError("could not write the collection file");
        return;
    }
    for (auto _ : state) {
        auto catalogue = std::make_unique<vyn::Catalogue>();
        const vyn::ImportResult r = vyn::importXmlFile(*catalogue, file);
        if (!r.ok || r.counts.tracks != 20000) state.SkipWithError("import failed");
        state.PauseTiming();
        catalogue.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(XmlImportIntoEmptyCatalogue)->Unit(benchmark::kMillisecond)->UseRealTime();

void XmlReimport(benchmark::State& state) {
    const std::string& file = collectionFile();
    vyn::Catalogue catalogue;
    if (file.empty() || !vyn::importXmlFile(catalogue, file).ok) {
        state.SkipWithError("import failed");
        return;
    }
    for (auto _ : state) {
        const vyn::ImportResult r = vyn::importXmlFile(catalogue, file);
        if (!r.ok) state.SkipWithError("import failed");
    }
    std::lock_guard<std::mutex> lock(catalogue.mutex());
    state.counters["tracks"] = static_cast<double>(catalogue.size());
}
BENCHMARK(XmlReimport)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!collectionFile().empty()) std::remove(collectionFile().c_str());
    return 0;
}
