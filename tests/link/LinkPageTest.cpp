// The remote page end to end: `vyn-tool link` plays rendered tracks on the silent output while
// headless Chromium pairs with the code, shows the decks and their waveforms, and sends commands
// that a second surface sees in the engine's state. The QR code the tool draws decodes to the
// pairing link, and opening the page with that link pairs it without typing.

#include "../library/AnlzWriter.h"
#include "../library/PdbWriter.h"
#include "LinkTestPeers.h"
#include "common/ChildProcess.h"
#include "common/LibraryFixtures.h"
#include "common/QrPicture.h"
#include "common/TestPaths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace vyn {
namespace {

// `vyn-tool link` in the background, stopped with Ctrl-C (SIGINT) at the end.
class LinkTool {
public:
    LinkTool(const std::string& dir, const std::vector<std::string>& extra)
        : out_(dir + "/tool.out"), err_(dir + "/tool.err"), process_([&] {
              std::string command = "'" + test::builtExecutable("vyn-tool") + "' link --port 0";
              for (const std::string& a : extra)
                  command += " '" + a + "'";
              return command + " >'" + out_ + "' 2>'" + err_ + "'";
          }()) {}
    ~LinkTool() { stop(); }

    // Waits for the three lines the tool prints (at once) when it listens.
    bool ready() const {
        return test::waitForText(out_, "link: ").find("link: ") != std::string::npos;
    }
    std::string line(const std::string& key) const {
        const std::string text = test::readText(out_);
        const std::size_t at = text.find(key + ": ");
        if (at == std::string::npos) return {};
        const std::size_t from = at + key.size() + 2;
        return text.substr(from, text.find('\n', from) - from);
    }
    std::string err() const { return test::readText(err_); }
    bool waitForErr(const std::string& text) const {
        return test::waitForText(err_, text).find(text) != std::string::npos;
    }
    int stop() {
        if (!stopped_) {
            process_.signal(SIGINT);
            status_ = process_.wait();
            stopped_ = true;
        }
        return status_;
    }

private:
    std::string out_, err_;
    test::ChildProcess process_;
    bool stopped_ = false;
    int status_ = -1;
};

JsonValue runPage(const LinkTool& tool, const std::string& mode, const std::string& shot,
                  const std::string& link = {}) {
    return test::runNodeScript("link-page.mjs", tool.line("port") + " " + tool.line("code") + " '" +
                                                    shot + "' " + mode +
                                                    (link.empty() ? "" : " '" + link + "'"));
}

std::vector<std::string> titles(const JsonValue& report) {
    std::vector<std::string> out;
    if (const JsonValue* t = report.find("titles"))
        for (const JsonValue& title : t->items())
            out.push_back(title.asString());
    return out;
}

class LinkPage : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("link-page");
        for (const char* name : {"tone-a", "tone-b"}) {
            const auto r = test::runProcess("sox -n -r 48000 -c 2 -b 16 '" + dir + "/" + name +
                                            ".wav' synth 60 sine 110 vol 0.7");
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
        tool = std::make_unique<LinkTool>(
            dir, std::vector<std::string>{dir + "/tone-a.wav", dir + "/tone-b.wav"});
        ASSERT_TRUE(tool->ready()) << tool->err();
        ASSERT_TRUE(tool->waitForErr("on deck 2")) << tool->err();
    }
    void TearDown() override {
        if (tool) {
            EXPECT_EQ(tool->stop(), 0) << tool->err();
        }
    }

    std::string dir;
    std::unique_ptr<LinkTool> tool;
};

TEST_F(LinkPage, PairsShowsPlayingDecksWithWaveformsAndSendsCommands) {
    const JsonValue r = runPage(*tool, "webgl", test::artefactPath("link-page-webgl.png"));
    ASSERT_TRUE(r.find("titles")) << "no report";
    EXPECT_EQ(r.find("statusBeforeCode")->asString(), "pairing");
    EXPECT_EQ(r.find("gateError")->asString(), "Wrong code.");
    EXPECT_TRUE(r.find("reconnectedWithoutCode")->asBool());
    EXPECT_EQ(r.find("gateErrorAfterReconnect")->asString(), "Wrong code.");
    EXPECT_EQ(r.find("status")->asString(), "linked");
    EXPECT_TRUE(r.find("dotLit")->asBool());
    EXPECT_EQ(titles(r), (std::vector<std::string>{"tone-a.wav", "tone-b.wav"}));
    EXPECT_EQ(r.find("renderer")->asString(), "webgl2");
    EXPECT_GT(r.find("detailLit")->asNumber(), 500);
    EXPECT_GT(r.find("overviewLit")->asNumber(), 200);
    EXPECT_TRUE(r.find("playingMarked")->asBool());
    ASSERT_TRUE(r.find("commands"));
    for (const char* c : {"sync", "pause", "cue", "play", "loop", "reverse", "keyUp"})
        EXPECT_TRUE(r.find("commands")->find(c) && r.find("commands")->find(c)->asBool()) << c;
    EXPECT_EQ(r.find("keyShift")->asString(), "+1 st");
    EXPECT_TRUE(r.find("errors")->items().empty()) << "the page threw";
}

TEST_F(LinkPage, WithoutWebGlTheDetailViewFallsBackTo2d) {
    const JsonValue r = runPage(*tool, "2d", test::artefactPath("link-page-2d.png"));
    ASSERT_TRUE(r.find("renderer")) << "no report";
    EXPECT_EQ(r.find("renderer")->asString(), "2d");
    EXPECT_EQ(r.find("zoomAfterPinch")->asString(), "3 s");
    EXPECT_TRUE(r.find("oneView")->asBool());
    EXPECT_TRUE(r.find("oneViewAfterReload")->asBool());
    EXPECT_GT(r.find("detailLit")->asNumber(), 500);
    EXPECT_GT(r.find("overviewLit")->asNumber(), 200);
    EXPECT_TRUE(r.find("errors")->items().empty()) << "the page threw";
}

// The QR code the tool draws on standard error (two rows of modules per line in half blocks).
std::vector<std::vector<bool>> qrFromText(const std::string& err) {
    std::vector<std::vector<bool>> rows;
    std::size_t pos = 0;
    while ((pos = err.find("\x1b[30;47m", pos)) != std::string::npos) {
        pos += 8;
        const std::size_t end = err.find("\x1b[0m", pos);
        std::vector<bool> top, bottom;
        for (std::size_t i = pos; i < end;) {
            if (err[i] == ' ') {
                top.push_back(false);
                bottom.push_back(false);
                ++i;
                continue;
            }
            const std::string glyph = err.substr(i, 3);
            top.push_back(glyph == "\xE2\x96\x88" || glyph == "\xE2\x96\x80");
            bottom.push_back(glyph == "\xE2\x96\x88" || glyph == "\xE2\x96\x84");
            i += 3;
        }
        rows.push_back(top);
        rows.push_back(bottom);
        pos = end;
    }
    return rows;
}

TEST_F(LinkPage, TheToolsQrCodeDecodesToTheLinkAndTheLinkPairsThePage) {
    const std::string link = tool->line("link");
    if (link.empty()) GTEST_SKIP() << "this machine has no usable network address, so no link";
    EXPECT_EQ(link.rfind("vynlink://", 0), 0u);
    EXPECT_EQ(link.substr(link.size() - 5), "/" + tool->line("code"));

    const auto rows = qrFromText(tool->err());
    ASSERT_GT(rows.size(), 20u);
    const std::string pgm = test::writeQrPicture(
        dir + "/qr.pgm", static_cast<int>(std::max(rows.size(), rows[0].size())),
        [&](int x, int y) {
            const auto row = static_cast<std::size_t>(y), column = static_cast<std::size_t>(x);
            return row < rows.size() && column < rows[row].size() && rows[row][column];
        });
    const auto decoded = test::runProcess("zbarimg --quiet --raw '" + pgm + "'");
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
    EXPECT_EQ(decoded.out, link + "\n");

    // The page is given the scanned link and pairs with the code inside it.
    const JsonValue r = runPage(*tool, "link", test::artefactPath("link-page-qr.png"), link);
    ASSERT_TRUE(r.find("status")) << "no report";
    EXPECT_EQ(r.find("status")->asString(), "linked");
    EXPECT_EQ(titles(r).size(), 2u);
}

TEST(LinkToolLibrary, ASurfaceLoadsACatalogueTrackOntoTheDeckItNames) {
    const std::string dir = test::scratchDir("link-library");
    const auto tone = test::runProcess("sox -n -r 48000 -c 2 -b 16 '" + dir +
                                       "/kick & snare.wav' synth 10 sine 60 vol 0.5");
    ASSERT_EQ(tone.exitCode, 0) << tone.err;
    // Written escaped, as rekordbox writes it: the name and the path come back unescaped.
    test::writeXmlCollection(
        dir + "/collection.xml",
        {{"Night &lt;Drive&gt;", "Dj Test", dir + "/kick%20&amp;%20snare.wav", 120.0, 10.0}});
    LinkTool tool(dir, {"--library", dir + "/collection.xml"});
    ASSERT_TRUE(tool.ready()) << tool.err();
    const JsonValue r =
        test::runNodeScenario("load " + tool.line("port") + " " + tool.line("code") + " 1 1");
    ASSERT_TRUE(r.find("name")) << tool.err();
    EXPECT_EQ(r.find("name")->asString(), "Dj Test - Night <Drive>");
    EXPECT_EQ(r.find("track")->asNumber(), 1);
    EXPECT_EQ(r.find("state")->asNumber(), 1) << "loaded, not started";
    EXPECT_EQ(r.find("wv")->asNumber(), 1500);
    EXPECT_EQ(tool.stop(), 0) << tool.err();
}

TEST(LinkToolLibrary, AStickTrackLoadedFromASurfaceBringsItsGridCuesAndWaveform) {
    const std::string stick = test::scratchDir("link-stick");
    const std::string anlz = "/PIONEER/USBANLZ/P001/00000001/ANLZ0000";
    std::filesystem::create_directories(stick + "/Contents");
    const auto tone = test::runProcess("sox -n -r 48000 -c 2 -b 16 '" + stick +
                                       "/Contents/tone.wav' synth 4 sine 60 vol 0.5");
    ASSERT_EQ(tone.exitCode, 0) << tone.err;
    const std::vector<test::AnlzCueSpec> hot{{1, 1, 1000}};
    test::touch(stick + anlz + ".DAT",
                test::AnlzWriter().beatGrid({{1, 12000, 0}, {2, 12000, 500}}).cueList(hot).build());
    test::touch(stick + anlz + ".EXT",
                test::AnlzWriter().waveform(true, std::vector<std::uint16_t>(300, 0x7C00)).build());
    test::PdbWriter pdb;
    test::PdbTrackSpec t;
    t.title = "Tone";
    t.filePath = "/Contents/tone.wav";
    t.analysisPath = anlz + ".DAT";
    pdb.addRow(PdbTable::Tracks, test::pdbTrackRow(t));
    test::touch(stick + "/PIONEER/rekordbox/export.pdb", pdb.build());

    LinkTool tool(stick, {"--library", stick});
    ASSERT_TRUE(tool.ready()) << tool.err();
    const JsonValue r =
        test::runNodeScenario("load " + tool.line("port") + " " + tool.line("code") + " 1 0");
    ASSERT_TRUE(r.find("f")) << tool.err();
    EXPECT_EQ(static_cast<int>(r.find("f")->asNumber()) & 4, 4) << "the deck has a beat grid";
    EXPECT_EQ(r.find("bpm")->asNumber(), 120);
    EXPECT_EQ(r.find("cues")->asNumber(), 1) << "hot cue A from the analysis";
    EXPECT_EQ(r.find("wv")->asNumber(), 300) << "the analysis waveform, not one from the audio";
    EXPECT_EQ(tool.stop(), 0) << tool.err();
}

} // namespace
} // namespace vyn
