// The Win32 window under wine on the test services' Xvfb display, used as a person uses it:
// xdotool clicks at the places the UI map lists, a screenshot is kept, and Alt+F4 closes it as
// its close box does; Ctrl+C in its console closes it the same way. It runs vyn_guarded, so the
// audio thread's allocations, frees and locks are reported at exit.

#include "common/TestPaths.h"
#include "common/WindowDriver.h"

#include <gtest/gtest.h>

#include <string>

namespace vyn {
namespace {

using namespace std::chrono_literals;

class WineWindow : public ::testing::Test {
protected:
    void SetUp() override { VYN_REQUIRE_TEST_SERVICES(); }
    void TearDown() override {
        // A window the test could not close is not left behind.
        test::runProcess("kill -KILL $(cat '" + dir + "/pid' 2>/dev/null) 2>/dev/null; true");
    }

    // Starts the window with fresh settings and waits for its map (wine starts a window in seconds
    // on a loaded machine); the process id goes to "pid".
    ::testing::AssertionResult start() {
        // The settings (wine's registry) from an earlier run would change what the window shows.
        test::runProcess("wine reg delete 'HKCU\\Software\\VYN' /f");
        const std::string exe = test::builtExecutable("vyn_guarded");
        EXPECT_EQ(test::runProcess("cd '" + dir + "' && VYN_UI_MAP='" + dir +
                                   "/ui.map' PULSE_SINK=vyn_stereo '" + exe + "' 2> '" + dir +
                                   "/stderr' & echo $! > '" + dir + "/pid'")
                      .exitCode,
                  0);
        return window.opened(1002, 60s) << "; the window said: " << test::readText(dir + "/stderr");
    }
    // True when the process is gone within 30 s.
    bool exits() {
        return test::runProcess("pid=$(cat '" + dir +
                                "/pid'); for i in $(seq 300); do kill -0 $pid 2>/dev/null"
                                " || exit 0; sleep 0.1; done; exit 1")
                   .exitCode == 0;
    }
    bool reportsNoViolations() {
        return test::readText(dir + "/stderr")
                   .find("realtime violations: allocations 0 frees 0 locks 0\n") !=
               std::string::npos;
    }

    const std::string dir = test::scratchDir("wine-window");
    test::WindowDriver window{dir + "/ui.map"};
};

TEST_F(WineWindow, OpensOnXvfbFollowsClicksThroughTheUiMapAndClosesOnAltF4) {
    ASSERT_TRUE(start());
    const test::UiMapFile m = window.map();
    EXPECT_EQ(m.width, 1360);
    EXPECT_EQ(m.height, 860);
    EXPECT_EQ(m.text(1033), "4");
    // The X window is the client area: the map's pixels are xdotool's window coordinates.
    const auto geometry =
        test::runProcess("xdotool getwindowgeometry --shell " + window.windowId() +
                         " | grep -E '^(WIDTH|HEIGHT)=' | tr '\\n' ' '");
    EXPECT_EQ(geometry.out, "WIDTH=1360 HEIGHT=860 ");

    // Without the focus a desktop would give it, wine's first window after its server starts drops
    // the first click. A toolbar button and a tool window opened from it, through the map.
    window.focus();
    ASSERT_TRUE(window.click(1002));
    EXPECT_TRUE(window.shows(1033, "5", 20s)) << "the deck count did not follow the click";
    ASSERT_TRUE(window.click(1007));
    ASSERT_TRUE(window.lists(1300, "USB\xE2\x80\xA6", 20s)) << "the Library window did not open";

    ASSERT_TRUE(window.keepScreenshot("wine-window.png"));
    EXPECT_EQ(test::runProcess("identify -format '%w %h' '" + std::string(VYN_BINARY_DIR) +
                               "/test-artifacts/wine-window.png'")
                  .out,
              "1360 860");

    // Alt+F4 closes the window in order; the guard's line follows the last frame.
    window.key("alt+F4");
    EXPECT_TRUE(exits()) << "the window did not close on Alt+F4";
    EXPECT_TRUE(reportsNoViolations()) << test::readText(dir + "/stderr");
}

// Wine turns SIGINT into the console's Ctrl+C event, as a console window delivers it: the window
// closes in order, as on Alt+F4, rather than being torn down mid-frame.
TEST_F(WineWindow, CtrlCInItsConsoleClosesTheWindowInOrder) {
    ASSERT_TRUE(start());
    ASSERT_EQ(test::runProcess("kill -INT $(cat '" + dir + "/pid')").exitCode, 0);
    EXPECT_TRUE(exits()) << "the window did not close on Ctrl+C";
    EXPECT_TRUE(reportsNoViolations()) << test::readText(dir + "/stderr");
}

} // namespace
} // namespace vyn
