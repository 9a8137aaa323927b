// The Win32 window under wine on the test services' Xvfb display, used as a person uses it:
// xdotool clicks at the places the UI map lists, a screenshot is kept, and Alt+F4 closes it as
// its close box does; Ctrl+C in its console closes it the same way. It runs vyn_guarded, so the
// audio thread's allocations, frees and locks are reported at exit.

#include "common/TestPaths.h"
#include "common/UiMapFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace vyn {
namespace {

using namespace std::chrono_literals;

using test::MapControl;
using test::UiMapFile;

class WineWindow : public ::testing::Test {
protected:
    void SetUp() override {
        VYN_REQUIRE_TEST_SERVICES();
        dir = test::scratchDir("wine-window");
        map = dir + "/ui.map";
    }
    void TearDown() override {
        // A window the test could not close is not left behind.
        test::runProcess("kill -KILL $(cat '" + dir + "/pid' 2>/dev/null) 2>/dev/null; true");
    }

    // Waits for the map to satisfy `ready` (wine starts a window in seconds on a loaded machine).
    UiMapFile waitFor(const std::function<bool(const UiMapFile&)>& ready,
                      std::chrono::seconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        UiMapFile m = UiMapFile::read(map);
        while (!ready(m) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(100ms);
            m = UiMapFile::read(map);
        }
        return m;
    }
    // Starts the window with fresh settings and waits for its map; the process id goes to "pid".
    UiMapFile start() {
        // The settings (wine's registry) from an earlier run would change what the window shows.
        test::runProcess("wine reg delete 'HKCU\\Software\\VYN' /f");
        const std::string exe = test::builtExecutable("vyn_guarded");
        EXPECT_EQ(test::runProcess("cd '" + dir + "' && VYN_UI_MAP='" + map +
                                   "' PULSE_SINK=vyn_stereo '" + exe + "' 2> '" + dir +
                                   "/stderr' & echo $! > '" + dir + "/pid'")
                      .exitCode,
                  0);
        return waitFor([](const UiMapFile& f) { return f.controls.count(1002) != 0; }, 60s);
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
    bool click(const std::string& window, const MapControl& c) {
        char at[64];
        std::snprintf(at, sizeof at, "%d %d", c.x + c.w / 2, c.y + c.h / 2);
        return test::runProcess("xdotool mousemove --window " + window + " " + at +
                                " sleep 0.2 click 1")
                   .exitCode == 0;
    }

    std::string dir, map;
};

TEST_F(WineWindow, OpensOnXvfbFollowsClicksThroughTheUiMapAndClosesOnAltF4) {
    UiMapFile m = start();
    ASSERT_EQ(m.controls.count(1002), 1u)
        << "no map; the window said: " << test::readText(dir + "/stderr");
    EXPECT_EQ(m.width, 1360);
    EXPECT_EQ(m.height, 860);
    EXPECT_EQ(m.text(1033), "4");

    const auto found = test::runProcess("xdotool search --name '^VYN$' | head -n 1");
    const std::string window = found.out.substr(0, found.out.find('\n'));
    ASSERT_FALSE(window.empty()) << "xdotool finds no window named VYN";
    // The X window is the client area: the map's pixels are xdotool's window coordinates.
    const auto geometry = test::runProcess("xdotool getwindowgeometry --shell " + window +
                                           " | grep -E '^(WIDTH|HEIGHT)=' | tr '\\n' ' '");
    EXPECT_EQ(geometry.out, "WIDTH=1360 HEIGHT=860 ");

    // Xvfb has no window manager: the window gets the keyboard focus as a desktop would give it
    // (without it, wine's first window after its server starts drops the first click).
    ASSERT_EQ(test::runProcess("xdotool windowfocus --sync " + window).exitCode, 0);
    // A toolbar button and a tool window opened from it, both through the map's places.
    ASSERT_TRUE(click(window, m.controls[1002]));
    m = waitFor([](const UiMapFile& f) { return f.text(1033) == "5"; }, 20s);
    EXPECT_EQ(m.text(1033), "5") << "the deck count did not follow the click";
    ASSERT_TRUE(click(window, m.controls[1007]));
    m = waitFor([](const UiMapFile& f) { return f.controls.count(1300) != 0; }, 20s);
    ASSERT_EQ(m.controls.count(1300), 1u) << "the Library window did not open";
    EXPECT_EQ(m.controls[1300].label, "USB…");

    const std::string artefacts = std::string(VYN_BINARY_DIR) + "/test-artifacts";
    std::filesystem::create_directories(artefacts);
    const std::string shot = artefacts + "/wine-window.png";
    ASSERT_EQ(test::runProcess("import -window " + window + " '" + shot + "'").exitCode, 0);
    EXPECT_EQ(test::runProcess("identify -format '%w %h' '" + shot + "'").out, "1360 860");

    // Alt+F4 closes the window in order; the guard's line follows the last frame.
    ASSERT_EQ(test::runProcess("xdotool windowfocus --sync " + window + " key alt+F4").exitCode, 0);
    EXPECT_TRUE(exits()) << "the window did not close on Alt+F4";
    EXPECT_TRUE(reportsNoViolations()) << test::readText(dir + "/stderr");
}

// Wine turns SIGINT into the console's Ctrl+C event, as a console window delivers it: the window
// closes in order, as on Alt+F4, rather than being torn down mid-frame.
TEST_F(WineWindow, CtrlCInItsConsoleClosesTheWindowInOrder) {
    const UiMapFile m = start();
    ASSERT_EQ(m.controls.count(1002), 1u)
        << "no map; the window said: " << test::readText(dir + "/stderr");
    ASSERT_EQ(test::runProcess("kill -INT $(cat '" + dir + "/pid')").exitCode, 0);
    EXPECT_TRUE(exits()) << "the window did not close on Ctrl+C";
    EXPECT_TRUE(reportsNoViolations()) << test::readText(dir + "/stderr");
}

} // namespace
} // namespace vyn
