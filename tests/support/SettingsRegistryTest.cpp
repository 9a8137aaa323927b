// The Windows settings store against wine's registry: value types as `reg` shows them, what
// another process writes, and what cannot be stored.

#include "common/TestPaths.h"
#include "support/KnownFolders.h"
#include "support/SettingsStore.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

constexpr const char* kKey = "HKCU\\Software\\VYN";

test::ProcessResult reg(const std::string& arguments) {
    return test::runProcess("wine reg " + arguments);
}

class RegistrySettings : public ::testing::Test {
protected:
    void SetUp() override { reg(std::string("delete '") + kKey + "' /f"); }
};

TEST_F(RegistrySettings, ValuesLandUnderSoftwareVynWithTheirTypesAndReadBack) {
    {
        auto store = openUserSettings();
        ASSERT_TRUE(store->setInteger("visibleDecks", 6)) << store->lastError();
        ASSERT_TRUE(store->setInteger("resolumePort", -3));
        ASSERT_TRUE(store->setText("updateSeen", "v0.2.0"));
        ASSERT_TRUE(store->setList("libraryRoots", {"E:\\", "C:\\Music\\\xC3\x84rger"}));
        ASSERT_TRUE(store->setList("libraryXml", {"D:\\rb.xml"}));
    }
    const test::ProcessResult q = reg(std::string("query '") + kKey + "'");
    ASSERT_EQ(q.exitCode, 0) << q.err;
    for (const char* line :
         {"visibleDecks    REG_DWORD    0x6", "resolumePort    REG_DWORD    0xfffffffd",
          "updateSeen    REG_SZ    v0.2.0", "libraryRoots    REG_MULTI_SZ    E:\\",
          "libraryXml    REG_MULTI_SZ    D:\\rb.xml"})
        EXPECT_NE(q.out.find(line), std::string::npos) << line << " in\n" << q.out;

    // A second start reads what the first left.
    auto again = openUserSettings();
    EXPECT_EQ(again->integer("visibleDecks", 4), 6);
    EXPECT_EQ(again->integer("resolumePort", 7000), -3);
    EXPECT_EQ(again->text("updateSeen"), "v0.2.0");
    EXPECT_EQ(again->list("libraryRoots"),
              (std::vector<std::string>{"E:\\", "C:\\Music\\\xC3\x84rger"}));
    EXPECT_EQ(again->list("libraryXml"), std::vector<std::string>{"D:\\rb.xml"});
    ASSERT_TRUE(again->setList("libraryXml", {}));
    ASSERT_TRUE(again->remove("never-set"));
    EXPECT_FALSE(openUserSettings()->text("libraryXml").has_value());
}

TEST_F(RegistrySettings, ValuesWrittenByAnotherProcessAreRead) {
    auto store = openUserSettings();
    EXPECT_EQ(store->integer("layout", 0), 0) << "no key yet";
    struct Case {
        const char* name;
        const char* type;
        const char* data;
        const char* text; // nullptr: reads as unset
    } cases[] = {
        {"layout", "REG_DWORD", "2", "2"},
        {"timeH", "REG_SZ", "0", "0"},
        {"resolumeHost", "REG_EXPAND_SZ", "10.0.0.2", "10.0.0.2"},
        {"blob", "REG_BINARY", "0102", nullptr},
        {"empty", "REG_SZ", "", ""},
    };
    for (const Case& c : cases) {
        const auto r = reg(std::string("add '") + kKey + "' /v " + c.name + " /t " + c.type +
                           " /d '" + c.data + "' /f");
        ASSERT_EQ(r.exitCode, 0) << c.name << ": " << r.err;
        if (c.text)
            EXPECT_EQ(store->text(c.name), c.text) << c.name;
        else
            EXPECT_FALSE(store->text(c.name).has_value()) << c.name;
    }
    EXPECT_EQ(store->integer("layout", 0), 2);
}

TEST_F(RegistrySettings, RefusesWhatCannotBeStoredAndChangesNothing) {
    auto store = openUserSettings();
    ASSERT_TRUE(store->setText("name", "kept"));
    for (const char* key : {"", "a=b", " padded", "line\nbreak", "#comment"})
        EXPECT_FALSE(store->setText(key, "x")) << key;
    EXPECT_FALSE(store->setText("name", "two\nlines"));
    EXPECT_EQ(store->lastError(), "setting value cannot be stored");
    EXPECT_FALSE(store->setText("name", "\xFF\xFE")) << "ill-formed UTF-8";
    EXPECT_FALSE(store->setList("name", {"fine", ""})) << "a multi-string cannot hold an empty one";
    EXPECT_EQ(store->text("name"), "kept");
}

TEST(KnownFoldersWindows, DocumentsAndLocalAppDataFromTheShell) {
    const std::string docs = documentsFolder();
    const std::string cache = cacheFolder();
    ASSERT_FALSE(docs.empty());
    ASSERT_FALSE(cache.empty());
    EXPECT_EQ(docs.substr(docs.size() - 4), "\\VYN") << docs;
    EXPECT_NE(docs.find(":\\"), std::string::npos) << "a drive path: " << docs;
    EXPECT_NE(cache.find("AppData\\Local\\VYN"), std::string::npos) << cache;
    EXPECT_EQ(dataFolder(), cache);
}

} // namespace
} // namespace vyn
