// RFC 6455 framing: what a client may send (split anywhere, masked or not, fragmented with control
// frames in between) and the errors that must end a connection; and the server's frame headers.

#include "control/link/WebSocketReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vyn {
namespace {

// A client frame: masked with a fixed key unless `mask` is false.
std::string clientFrame(std::uint8_t opcode, const std::string& payload, bool fin = true,
                        bool mask = true, std::uint8_t rsv = 0) {
    std::string f;
    f += static_cast<char>((fin ? 0x80 : 0) | rsv | opcode);
    const std::uint8_t m = mask ? 0x80 : 0;
    const std::uint64_t n = payload.size();
    if (n < 126) {
        f += static_cast<char>(m | n);
    } else if (n <= 65535) {
        f += static_cast<char>(m | 126);
        f += static_cast<char>(n >> 8);
        f += static_cast<char>(n & 255);
    } else {
        f += static_cast<char>(m | 127);
        for (int i = 7; i >= 0; --i)
            f += static_cast<char>((n >> (8 * i)) & 255);
    }
    const char key[4] = {'\x12', '\x34', '\x56', '\x78'};
    if (mask) f.append(key, 4);
    for (std::size_t i = 0; i < payload.size(); ++i)
        f += mask ? static_cast<char>(payload[i] ^ key[i & 3]) : payload[i];
    return f;
}

std::vector<WebSocketMessage> feedAll(WebSocketReader& r, const std::string& bytes,
                                      std::size_t step = 0) {
    std::vector<WebSocketMessage> out;
    if (step == 0) step = bytes.size() ? bytes.size() : 1;
    for (std::size_t i = 0; i < bytes.size(); i += step)
        EXPECT_TRUE(r.feed(bytes.data() + i, std::min(step, bytes.size() - i), out)) << r.error();
    return out;
}

std::string failure(const std::string& bytes) {
    WebSocketReader r;
    std::vector<WebSocketMessage> out;
    EXPECT_FALSE(r.feed(bytes.data(), bytes.size(), out));
    return r.error();
}

TEST(WebSocketReader, FramesSplitAtEveryByteAndSeveralPerRead) {
    const std::string big(70000, 'b'); // 64-bit length form
    const std::string mid(300, 'm');   // 16-bit length form
    const std::string stream = clientFrame(ws_opcode::TEXT, "hello") +
                               clientFrame(ws_opcode::BINARY, mid) +
                               clientFrame(ws_opcode::TEXT, big) + clientFrame(ws_opcode::TEXT, "");
    for (std::size_t step : {std::size_t(1), std::size_t(3), std::size_t(4096), stream.size()}) {
        WebSocketReader r;
        const auto messages = feedAll(r, stream, step);
        ASSERT_EQ(messages.size(), 4u) << step;
        EXPECT_EQ(messages[0].payload, "hello");
        EXPECT_EQ(messages[1].opcode, ws_opcode::BINARY);
        EXPECT_EQ(messages[1].payload, mid);
        EXPECT_EQ(messages[2].payload, big);
        EXPECT_EQ(messages[3].payload, "");
        EXPECT_EQ(r.buffered(), 0u);
    }
}

TEST(WebSocketReader, UnmaskedClientFramesAreAccepted) {
    WebSocketReader r;
    const auto m = feedAll(r, clientFrame(ws_opcode::TEXT, "plain", true, false));
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].payload, "plain");
}

TEST(WebSocketReader, FragmentsJoinAndControlFramesPassBetweenThem) {
    WebSocketReader r;
    const std::string stream = clientFrame(ws_opcode::TEXT, "one ", false) +
                               clientFrame(ws_opcode::CONTINUATION, "two ", false) +
                               clientFrame(ws_opcode::PING, "p") +
                               clientFrame(ws_opcode::CONTINUATION, "three", true);
    const auto m = feedAll(r, stream, 5);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].opcode, ws_opcode::PING);
    EXPECT_EQ(m[0].payload, "p");
    EXPECT_EQ(m[1].opcode, ws_opcode::TEXT);
    EXPECT_EQ(m[1].payload, "one two three");
}

TEST(WebSocketReader, ProtocolErrorsNameTheirCause) {
    EXPECT_EQ(failure(clientFrame(ws_opcode::TEXT, "x", true, true, 0x40)),
              "reserved bits set without a negotiated extension");
    EXPECT_EQ(failure(clientFrame(ws_opcode::PING, std::string(126, 'p'))),
              "malformed control frame");
    EXPECT_EQ(failure(clientFrame(ws_opcode::PING, "p", false)), "malformed control frame");
    EXPECT_EQ(failure(clientFrame(ws_opcode::CONTINUATION, "x")),
              "continuation frame with nothing to continue");
    EXPECT_EQ(failure(clientFrame(ws_opcode::TEXT, "a", false) + clientFrame(ws_opcode::TEXT, "b")),
              "new message started before the previous one finished");
}

TEST(WebSocketReader, SizeLimits) {
    // Only the header of a 2 MiB frame needs to arrive for it to be refused.
    const std::string header =
        clientFrame(ws_opcode::TEXT, std::string(2 * 1048576, 'x')).substr(0, 14);
    EXPECT_EQ(failure(header), "frame larger than the message limit");

    // Exactly at the limit is fine.
    {
        WebSocketReader r;
        const auto m = feedAll(r, clientFrame(ws_opcode::BINARY, std::string(1048576, 'y')), 4096);
        ASSERT_EQ(m.size(), 1u);
        EXPECT_EQ(m[0].payload.size(), 1048576u);
    }
    // Fragments that add up to more than the limit.
    {
        WebSocketReader r;
        std::vector<WebSocketMessage> out;
        const std::string a = clientFrame(ws_opcode::TEXT, std::string(600000, 'a'), false);
        const std::string b = clientFrame(ws_opcode::CONTINUATION, std::string(600000, 'b'), true);
        ASSERT_TRUE(r.feed(a.data(), a.size(), out));
        EXPECT_FALSE(r.feed(b.data(), b.size(), out));
        EXPECT_EQ(r.error(), "fragmented message exceeded the limit");
    }
    // Bytes that never form a frame cannot pile up beyond the receive buffer.
    {
        WebSocketReader r({64, 1048576, 1048576});
        std::vector<WebSocketMessage> out;
        const std::string partial =
            clientFrame(ws_opcode::TEXT, std::string(100, 'z')).substr(0, 60);
        ASSERT_TRUE(r.feed(partial.data(), partial.size(), out));
        EXPECT_FALSE(r.feed("0123456789", 10, out));
        EXPECT_EQ(r.error(), "receive buffer overflowed");
    }
}

TEST(WebSocketReader, AfterAnErrorNothingMoreIsDelivered) {
    WebSocketReader r;
    std::vector<WebSocketMessage> out;
    const std::string bad = clientFrame(ws_opcode::CONTINUATION, "x");
    EXPECT_FALSE(r.feed(bad.data(), bad.size(), out));
    const std::string good = clientFrame(ws_opcode::TEXT, "late");
    EXPECT_FALSE(r.feed(good.data(), good.size(), out));
    EXPECT_TRUE(out.empty());
}

TEST(WebSocketWriter, LengthFormsAtTheirBoundaries) {
    struct Case {
        std::size_t size;
        std::size_t header;
    } cases[] = {{0, 2}, {125, 2}, {126, 4}, {65535, 4}, {65536, 10}, {200000, 10}};
    for (const Case& c : cases) {
        const std::string payload(c.size, 'q');
        const std::string frame = webSocketFrame(ws_opcode::BINARY, payload);
        ASSERT_EQ(frame.size(), c.header + c.size) << c.size;
        EXPECT_EQ(static_cast<std::uint8_t>(frame[0]), 0x82) << c.size; // FIN + binary
        EXPECT_EQ(static_cast<std::uint8_t>(frame[1]) & 0x80, 0) << "server frames are unmasked";
        // Our own reader reads it back (it accepts unmasked frames).
        WebSocketReader r;
        const auto m = feedAll(r, frame, 1000);
        ASSERT_EQ(m.size(), 1u) << c.size;
        EXPECT_EQ(m[0].payload.size(), c.size);
    }
}

} // namespace
} // namespace vyn
