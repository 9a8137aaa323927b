// Every fuzz target over its committed corpus and over each input that once broke it
// (tests/fuzz/regressions/NAME/): the rules a target checks must hold here too, and the
// sanitizer builds of the suite watch the same inputs for memory faults.

#include "FuzzTarget.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace vyn::fuzz {
namespace {

std::map<std::string, Body>& targets() {
    static std::map<std::string, Body> all;
    return all;
}

std::vector<std::uint8_t> slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

bool registerTarget(const char* name, Body body) {
    targets()[name] = body;
    return true;
}

void require(bool holds, const char* rule) {
    if (!holds) ADD_FAILURE() << "broken rule: " << rule;
}

namespace {

TEST(FuzzReplay, EveryTargetKeepsItsRulesOnItsCorpusAndPastFindings) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(VYN_SOURCE_DIR) / "tests" / "fuzz";
    ASSERT_GE(targets().size(), 12u);
    for (const auto& [name, body] : targets()) {
        std::size_t inputs = 0;
        for (const char* kind : {"corpus", "regressions"}) {
            const fs::path dir = root / kind / name;
            if (!fs::is_directory(dir)) continue;
            for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
                if (!e.is_regular_file()) continue;
                SCOPED_TRACE(e.path().string());
                const std::vector<std::uint8_t> bytes = slurp(e.path());
                body(bytes.data(), bytes.size());
                ++inputs;
            }
        }
        EXPECT_GT(inputs, 0u) << name << " has no committed corpus";
    }
}

} // namespace
} // namespace vyn::fuzz
