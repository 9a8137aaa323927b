// Whole-file reads and atomic writes under a name outside ASCII: paths are UTF-8 text on every
// platform, and the file is found under that name from outside the program too.

#include "support/FileIo.h"
#include "common/TestPaths.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

TEST(FileIo, ANameOutsideAsciiIsWrittenReadAndSeenByThatName) {
    const std::string dir = test::scratchDir("file-io-utf8");
    const std::string name = "Se\xC3\xB1or \xE2\x80\x93 Caf\xC3\xA9.txt"; // "Señor – Café.txt"
    std::string error;
    ASSERT_TRUE(writeFileAtomically(dir + "/" + name, "hello", &error)) << error;
    EXPECT_TRUE(fileExists(dir + "/" + name));
    EXPECT_EQ(readWholeFile(dir + "/" + name).data, "hello");
    // The system's shell lists the very name (not the bytes read in another code page).
    EXPECT_EQ(test::runProcess("cat '" + dir + "/" + name + "'").out, "hello");
}

} // namespace
} // namespace vyn
