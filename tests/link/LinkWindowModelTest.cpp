// The Link window's model: texts, addresses, the pairing link and its QR code (read back with a
// real QR reader), and what the buttons do to a real server.

#include "control/link/LinkWindowModel.h"
#include "common/EngineFixture.h"
#include "common/QrPicture.h"
#include "common/TestPaths.h"
#include "control/link/LinkHost.h"
#include "control/link/SocketLayer.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vyn {
namespace {

TEST(LinkWindowModel, StatusAndWrongCodeCountsWithTheirSingulars) {
    LinkWindowModel m;
    m.setServerState(true, 1, 1);
    EXPECT_EQ(m.statusLine(), "link  \xC2\xB7  1 surface connected");
    EXPECT_EQ(m.wrongCodeLine(), "1 connection refused for a wrong code");
    EXPECT_STREQ(m.startStopLabel(), "Stop link");
    m.setServerState(true, 3, 12);
    EXPECT_EQ(m.statusLine(), "link  \xC2\xB7  3 surfaces connected");
    EXPECT_EQ(m.wrongCodeLine(), "12 connections refused for a wrong code");
    m.setServerState(true, 0, 0);
    EXPECT_EQ(m.statusLine(), "link  \xC2\xB7  0 surfaces connected");
    EXPECT_EQ(m.wrongCodeLine(), "");
    m.setServerState(false, 0, 0);
    EXPECT_STREQ(m.startStopLabel(), "Start link");
}

TEST(LinkWindowModel, AddressBoxAndQrCode) {
    LinkWindowModel m;
    m.setServerState(true, 0, 0);
    m.setCode("0427");
    EXPECT_EQ(m.addressText(), LinkWindowModel::kNoAddress);
    EXPECT_TRUE(m.qr().empty());

    m.setAddresses({"169.254.7.7"});
    EXPECT_EQ(m.addressText(),
              std::string("http://169.254.7.7:17999") + LinkWindowModel::kLinkLocalWarning);
    EXPECT_TRUE(m.qr().empty()) << "no QR code without a usable address";

    m.setAddresses({"192.168.1.20", "10.0.0.5", "192.168.1.100"});
    EXPECT_EQ(m.addressText(),
              "http://10.0.0.5:17999\r\nhttp://192.168.1.100:17999\r\nhttp://192.168.1.20:17999");
    EXPECT_EQ(m.pairingLink(), "vynlink://10.0.0.5,192.168.1.100,192.168.1.20:17999/0427");
    EXPECT_FALSE(m.qr().empty());
    // The QR code is encoded again only when the link changes.
    const QrModules first = m.qr();
    const std::uint8_t* data = m.qr().dark.data();
    m.setAddresses({"10.0.0.5", "192.168.1.100", "192.168.1.20", "127.0.0.1"});
    EXPECT_EQ(m.qr().dark.data(), data) << "the loopback address does not change the link";
    m.setCode("1235");
    EXPECT_NE(m.qr().dark, first.dark);
}

TEST(LinkWindowModel, QrLayoutKeepsTheQuietZone) {
    // Module size 4: the largest whole size for 29 + 8 modules in 200 - 16 pixels.
    const QrLayout l = LinkWindowModel::qrLayout(300, 200, 29);
    EXPECT_EQ(std::tuple(l.moduleSize, l.side, l.quietZone, l.cornerRadius),
              std::tuple(4, 148, 4, 12.0f));
    EXPECT_EQ(LinkWindowModel::qrLayout(20, 20, 29).moduleSize, 1);
}

TEST(PairingQrCode, DecodesToThePairingLink) {
    LinkWindowModel m;
    m.setCode("0427");
    m.setAddresses({"10.0.0.5", "192.168.1.20"});
    ASSERT_FALSE(m.qr().empty());
    const std::string file = test::writeQrPicture(test::scratchDir("qr") + "/pair.pgm", m.qr().size,
                                                  [&](int x, int y) { return m.qr().at(x, y); });
    const auto r = test::runProcess("zbarimg --quiet --raw '" + file + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "vynlink://10.0.0.5,192.168.1.20:17999/0427\n");
}

TEST(PairingQrCode, LevelMediumIsKept) {
    // 16 bytes need version 2 at level medium, where level quartile would fit as well: an
    // encoder free to raise the level would pick quartile.
    const QrModules qr = encodePairingQr("vynlink://a:1/00");
    EXPECT_EQ(qr.size, 25);
    // The two level bits of the format information sit at (0, 8) and (1, 8); after the format
    // mask, medium reads dark, light (low: dark, dark; quartile: light, dark; high: light, light).
    EXPECT_TRUE(qr.at(0, 8));
    EXPECT_FALSE(qr.at(1, 8));
    EXPECT_TRUE(encodePairingQr("").empty());
    EXPECT_TRUE(encodePairingQr(std::string(3000, 'x')).empty());
}

TEST(LocalAddresses, InterfacesThatAreUpWithoutLoopbackOnceEachSortedAsText) {
    const std::vector<net::InterfaceAddress> listed = {
        {0xC0A80114u, true, false},  // 192.168.1.20
        {0x7F000001u, true, true},   // loopback
        {0x0A000005u, false, false}, // an interface that is down
        {0xC0A80164u, true, false},  // 192.168.1.100
        {0xC0A80114u, true, false},  // the same address on a second interface
        {0x0A000006u, true, false},  // 10.0.0.6
    };
    EXPECT_EQ(net::usableInterfaceAddresses(listed),
              (std::vector<std::string>{"10.0.0.6", "192.168.1.100", "192.168.1.20"}));
}

class LinkWindowButtons : public test::EngineFixture {};

TEST_F(LinkWindowButtons, StartNeedsAudioAndNewCodeRestartsTheServer) {
    LinkHost host(*engine);
    LinkWindowModel m;
    m.setPort(0);
    m.startLink(host, false);
    EXPECT_EQ(m.message(), "Audio is not running.");
    EXPECT_FALSE(host.running());

    m.drawCode();
    m.startLink(host, true);
    ASSERT_TRUE(host.running()) << m.message();
    EXPECT_EQ(m.message(), "");
    const std::string before = m.code();
    for (int i = 0; i < 20 && m.code() == before; ++i)
        m.newCode(host); // a draw may repeat the old code
    EXPECT_NE(m.code(), before);
    EXPECT_TRUE(host.running());
    m.refresh(host);
    EXPECT_EQ(m.statusLine(), "link  \xC2\xB7  0 surfaces connected");
    m.stopLink(host);
    EXPECT_FALSE(host.running());
    m.refresh(host);
    EXPECT_EQ(m.statusLine(), "link  \xC2\xB7  not running");
}

TEST_F(LinkWindowButtons, BusyPortShowsTheMessage) {
    LinkServer other;
    LinkSettings s;
    s.port = 0;
    ASSERT_TRUE(other.start(s, nullptr));
    LinkHost host(*engine);
    LinkWindowModel m;
    m.setPort(other.port());
    m.startLink(host, true);
    EXPECT_EQ(m.message(), "Could not open port 17999.");
    EXPECT_FALSE(host.running());
    EXPECT_FALSE(m.running());
}

} // namespace
} // namespace vyn
