// Search over a 20,000-track catalogue with the library window's limit of 200: a common word
// (stops early at the limit), a rare one and one that matches nothing (both scan everything).

#include "library/Catalogue.h"
#include "library/XmlCollectionGenerator.h"
#include "library/XmlImport.h"

#include <benchmark/benchmark.h>

namespace {

vyn::Catalogue& catalogue() {
    static vyn::Catalogue* c = [] {
        auto* fresh = new vyn::Catalogue;
        const auto generated = vyn::test::generateXmlCollection(20000, 7, "/music");
        vyn::importXmlCollection(*fresh, generated.xml.data(), generated.xml.size());
        return fresh;
    }();
    return *c;
}

void CatalogueSearch(benchmark::State& state, const char* query) {
    vyn::Catalogue& c = catalogue();
    std::lock_guard<std::mutex> lock(c.mutex());
    c.search(query, 200); // builds the search text once, as the first search after an import does
    std::size_t hits = 0;
    for (auto _ : state) {
        const auto result = c.search(query, 200);
        hits = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["hits"] = static_cast<double>(hits);
    state.counters["tracks"] = static_cast<double>(c.size());
}
BENCHMARK_CAPTURE(CatalogueSearch, common_word, "night")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CatalogueSearch, rare_words, "garden dawn")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CatalogueSearch, no_match, "zzzz")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CatalogueSearch, non_ascii,
                  "\xC3\xBC"
                  "ber")
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
