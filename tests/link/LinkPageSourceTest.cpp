// The embedded page and the engine must agree on the numbers they share: the command ordinals the
// page sends and the flag bits it reads. And text from the host never becomes markup.

#include "control/link/LinkPage.h"
#include "control/link/LinkProtocol.h"
#include "engine/Command.h"
#include "engine/EngineSnapshot.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

namespace vyn {
namespace {

// NAME: number pairs of the page's `const NAME = { ... };` table.
std::map<std::string, long> pageTable(const std::string& name) {
    const std::string page(linkPage());
    const std::size_t start = page.find("const " + name + " = {");
    EXPECT_NE(start, std::string::npos) << name;
    const std::size_t end = page.find("};", start);
    const std::string body = page.substr(start, end - start);
    std::map<std::string, long> out;
    const std::regex entry(R"(([A-Z_]+):\s*([0-9]+))");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), entry);
         it != std::sregex_iterator(); ++it)
        out[(*it)[1]] = std::stol((*it)[2]);
    return out;
}

TEST(LinkPageSource, CommandOrdinalsAreTheEngines) {
    const auto cmd = pageTable("CMD");
    ASSERT_EQ(cmd.size(), 24u);
    std::set<int> pageOrdinals;
    for (const auto& [name, ordinal] : cmd) {
        EXPECT_EQ(commandTypeName(static_cast<std::uint16_t>(ordinal)), name);
        pageOrdinals.insert(static_cast<int>(ordinal));
    }
    // The server accepts everything the page sends.
    for (int c : pageOrdinals)
        EXPECT_TRUE(isSurfaceCommand(c)) << c;
}

TEST(LinkPageSource, FlagBitsAreTheSnapshots) {
    using namespace deck_flags;
    const std::map<std::string, long> engine = {
        {"CUE", CUE},
        {"KEYLOCK", KEYLOCK},
        {"GRID", GRID},
        {"SYNC", SYNC},
        {"MASTER", MASTER},
        {"PREVIEW", PREVIEW},
        {"LOOPING", LOOPING},
        {"IN_ADJ", IN_ADJ},
        {"OUT_ADJ", OUT_ADJ},
        {"SLIP", SLIP},
        {"SLIP_ACTIVE", SLIP_ACTIVE},
        {"REVERSE", REVERSE},
        {"SLIP_REVERSE", SLIP_REVERSE},
        {"KEY_SYNC", KEY_SYNC},
        {"HAS_KEY", HAS_KEY},
        {"JOGGING", JOGGING},
        {"STEMS_AVAIL", STEMS_AVAIL},
        {"STEMS_ON", STEMS_ON},
    };
    EXPECT_EQ(pageTable("F"), engine);
}

TEST(LinkPageSource, HostTextIsNeverParsedAsMarkup) {
    const std::string page(linkPage());
    for (const char* sink : {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write"})
        EXPECT_EQ(page.find(sink), std::string::npos) << sink;
    EXPECT_NE(page.find("d.title.textContent = s.name"), std::string::npos);
}

} // namespace
} // namespace vyn
