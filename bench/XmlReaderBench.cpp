// Parsing a 20,000-track collection export (about 40 MB): our pull reader against pugixml's DOM
// parse of the same bytes, in the same run. Prints the ratio (ours / pugixml) at the end.

#include "library/XmlCollectionGenerator.h"
#include "library/XmlReader.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <string>

namespace {

const std::string& collection() {
    static const std::string xml = vyn::test::generateXmlCollection(20000, 7, "/music").xml;
    return xml;
}

// Walks every event and every attribute value, as an importer does.
void XmlPullReader(benchmark::State& state) {
    const std::string& xml = collection();
    for (auto _ : state) {
        vyn::XmlReader reader(xml.data(), xml.size());
        std::size_t tags = 0;
        std::size_t valueBytes = 0;
        for (;;) {
            const vyn::XmlEvent e = reader.next();
            if (e == vyn::XmlEvent::End || e == vyn::XmlEvent::Error) break;
            if (e == vyn::XmlEvent::StartTag || e == vyn::XmlEvent::EmptyTag) {
                ++tags;
                for (std::size_t i = 0; i < reader.attributeCount(); ++i)
                    valueBytes += reader.attribute(i).value.size();
            }
        }
        if (reader.event() == vyn::XmlEvent::Error) state.SkipWithError("parse error");
        benchmark::DoNotOptimize(tags);
        benchmark::DoNotOptimize(valueBytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}
BENCHMARK(XmlPullReader)->Unit(benchmark::kMillisecond);

void PugixmlDomParse(benchmark::State& state) {
    const std::string& xml = collection();
    for (auto _ : state) {
        pugi::xml_document doc;
        const pugi::xml_parse_result r = doc.load_buffer(xml.data(), xml.size());
        if (!r) state.SkipWithError("pugixml parse error");
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}
BENCHMARK(PugixmlDomParse)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // One figure per benchmark: the single run, or the median of repetitions.
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type != Run::RT_Iteration && !median) continue;
            auto& slot = times_[r.run_name.function_name];
            if (median || !slot.fromMedian)
                slot = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime(), median};
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatio() const {
        const auto ours = times_.find("XmlPullReader");
        const auto reference = times_.find("PugixmlDomParse");
        if (ours == times_.end() || reference == times_.end()) return;
        if (reference->second.real <= 0 || reference->second.cpu <= 0) return;
        std::printf("XML parse of %.1f MB: ours / pugixml = %.2f (real time), %.2f (CPU time)\n",
                    static_cast<double>(collection().size()) / 1e6,
                    ours->second.real / reference->second.real,
                    ours->second.cpu / reference->second.cpu);
    }

private:
    struct Times {
        double real = 0.0;
        double cpu = 0.0;
        bool fromMedian = false;
    };
    std::map<std::string, Times> times_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio();
    benchmark::Shutdown();
    return 0;
}
