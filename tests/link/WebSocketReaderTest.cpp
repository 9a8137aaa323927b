// RFC 6455 framing: what a client may send (split anywhere, fragmented with control frames in
// between) and the errors that must end a connection, with the close code each earns; and the
// server's frame headers.

#include "control/link/WebSocketReader.h"
#include "LinkTestPeers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vyn {
namespace {

using test::clientFrame;
using test::closePayload;

std::vector<WebSocketMessage> feedAll(WebSocketReader& r, const std::string& bytes,
                                      std::size_t step = 0) {
    std::vector<WebSocketMessage> out;
    if (step == 0) step = bytes.size() ? bytes.size() : 1;
    for (std::size_t i = 0; i < bytes.size(); i += step)
        EXPECT_TRUE(r.feed(bytes.data() + i, std::min(step, bytes.size() - i), out)) << r.error();
    return out;
}

// Each message as "opcode payload".
std::vector<std::string> summary(const std::vector<WebSocketMessage>& messages) {
    std::vector<std::string> out;
    for (const WebSocketMessage& m : messages)
        out.push_back(std::to_string(m.opcode) + " " + m.payload);
    return out;
}

struct Failure {
    std::string error;
    int closeCode;
};

// Feeds a faulty stream and then a good frame: neither delivers anything.
Failure failure(const std::string& bytes) {
    WebSocketReader r;
    std::vector<WebSocketMessage> out;
    EXPECT_FALSE(r.feed(bytes.data(), bytes.size(), out));
    const std::string late = clientFrame(ws_opcode::TEXT, "late");
    EXPECT_FALSE(r.feed(late.data(), late.size(), out));
    EXPECT_TRUE(out.empty()) << "nothing is delivered from a faulty stream";
    return {r.error(), r.closeCode()};
}

TEST(WebSocketReader, FramesSplitAtEveryByteAndSeveralPerRead) {
    const std::string big(70000, 'b'); // 64-bit length form
    const std::string mid(300, 'm');   // 16-bit length form
    const std::string stream = clientFrame(ws_opcode::TEXT, "hello") +
                               clientFrame(ws_opcode::BINARY, mid) +
                               clientFrame(ws_opcode::TEXT, big) + clientFrame(ws_opcode::TEXT, "");
    for (std::size_t step : {std::size_t(1), std::size_t(3), std::size_t(4096), stream.size()}) {
        WebSocketReader r;
        EXPECT_EQ(summary(feedAll(r, stream, step)),
                  (std::vector<std::string>{"1 hello", "2 " + mid, "1 " + big, "1 "}))
            << step;
        EXPECT_EQ(r.buffered(), 0u);
    }
}

TEST(WebSocketReader, FragmentsJoinAndControlFramesPassBetweenThem) {
    WebSocketReader r;
    const std::string stream = clientFrame(ws_opcode::TEXT, "one ", false) +
                               clientFrame(ws_opcode::CONTINUATION, "two ", false) +
                               clientFrame(ws_opcode::PING, "p") +
                               clientFrame(ws_opcode::CONTINUATION, "three", true);
    EXPECT_EQ(summary(feedAll(r, stream, 5)), (std::vector<std::string>{"9 p", "1 one two three"}));
}

// Each fault a client can commit, with the cause the reader names and the close code the server
// answers with (the server's side of it is LinkConformanceTest).
TEST(WebSocketReader, FaultsNameTheirCauseAndCloseCode) {
    constexpr int kProtocol = ws_close::PROTOCOL_ERROR, kData = ws_close::INVALID_DATA,
                  kBig = ws_close::TOO_BIG;
    const std::string euro = "\xE2\x82\xAC";
    const char* const rsv = "reserved bits set without a negotiated extension";
    const char* const control = "malformed control frame";
    const char* const interleaved = "new message started before the previous one finished";
    const char* const utf8 = "text message is not valid UTF-8";
    const std::string half(524288, 'h');
    struct Case {
        std::string bytes;
        const char* error;
        int closeCode;
    } cases[] = {
        {clientFrame(ws_opcode::TEXT, "plain", true, false), "client frame not masked", kProtocol},
        {clientFrame(ws_opcode::TEXT, "x", true, true, 0x40), rsv, kProtocol},
        {clientFrame(ws_opcode::TEXT, "x", true, true, 0x20), rsv, kProtocol},
        {clientFrame(ws_opcode::PING, "x", true, true, 0x10), rsv, kProtocol},
        {clientFrame(3, "x"), "reserved opcode", kProtocol},
        {clientFrame(7, ""), "reserved opcode", kProtocol},
        {clientFrame(11, "x"), "reserved opcode", kProtocol},
        {clientFrame(15, ""), "reserved opcode", kProtocol},
        {clientFrame(ws_opcode::PING, std::string(126, 'p')), control, kProtocol},
        {clientFrame(ws_opcode::CLOSE, std::string(126, 'c')), control, kProtocol},
        {clientFrame(ws_opcode::PING, "p", false), control, kProtocol},
        {clientFrame(ws_opcode::CONTINUATION, "x"), "continuation frame with nothing to continue",
         kProtocol},
        {clientFrame(ws_opcode::TEXT, "a", false) + clientFrame(ws_opcode::TEXT, "b"), interleaved,
         kProtocol},
        {clientFrame(ws_opcode::TEXT, "a", false) + clientFrame(ws_opcode::BINARY, "b"),
         interleaved, kProtocol},
        {std::string("\x82\xFF\x80\0\0\0\0\0\0\x01", 10), "payload length with the top bit set",
         kProtocol},
        {clientFrame(ws_opcode::CLOSE, "\x03"), "close frame with a one-byte payload", kProtocol},
        // Text: a surrogate, an overlong form, above U+10FFFF, a code point cut at the message
        // end, and a fragment no text could continue, refused before the message ends.
        {clientFrame(ws_opcode::TEXT, "\xCE\xBA\xE1\xBD\xB9\xCF\x83\xED\xA0\x80"), utf8, kData},
        {clientFrame(ws_opcode::TEXT, "\xC0\xAF"), utf8, kData},
        {clientFrame(ws_opcode::TEXT, "\xF4\x90\x80\x80"), utf8, kData},
        {clientFrame(ws_opcode::TEXT, "ok" + euro.substr(0, 2)), utf8, kData},
        {clientFrame(ws_opcode::TEXT, euro.substr(0, 1), false) +
             clientFrame(ws_opcode::CONTINUATION, "\xFF", false),
         utf8, kData},
        {clientFrame(ws_opcode::CLOSE, closePayload(1000, "\xFF")),
         "close reason is not valid UTF-8", kData},
        // Only the header of a frame one byte over 1 MiB needs to arrive for it to be refused.
        {clientFrame(ws_opcode::BINARY, std::string(1048577, 'x')).substr(0, 14),
         "frame larger than the message limit", kBig},
        {clientFrame(ws_opcode::BINARY, half, false) +
             clientFrame(ws_opcode::CONTINUATION, half, false) +
             clientFrame(ws_opcode::CONTINUATION, "x"),
         "fragmented message exceeded the limit", kBig},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const Failure f = failure(c.bytes);
        EXPECT_EQ(f.error, c.error);
        EXPECT_EQ(f.closeCode, c.closeCode);
    }
    for (int code : {0, 999, 1004, 1005, 1006, 1015, 1016, 1100, 2000, 2999, 5000, 65535}) {
        SCOPED_TRACE(code);
        const Failure f =
            failure(clientFrame(ws_opcode::CLOSE, closePayload(static_cast<std::uint16_t>(code))));
        EXPECT_EQ(f.error, "close frame with an invalid status code");
        EXPECT_EQ(f.closeCode, kProtocol);
    }
    // Bytes that never form a frame cannot pile up beyond the receive buffer.
    WebSocketReader r({64, 1048576, 1048576});
    std::vector<WebSocketMessage> out;
    const std::string partial = clientFrame(ws_opcode::TEXT, std::string(100, 'z')).substr(0, 60);
    ASSERT_TRUE(r.feed(partial.data(), partial.size(), out));
    EXPECT_FALSE(r.feed("0123456789", 10, out));
    EXPECT_EQ(r.error(), "receive buffer overflowed");
}

TEST(WebSocketReader, SplitCodePointsAndMessagesAtTheLimitAreFine) {
    const std::string euro = "\xE2\x82\xAC", limit(1048576, 'y');
    WebSocketReader r;
    EXPECT_EQ(summary(feedAll(r, clientFrame(ws_opcode::TEXT, "a" + euro.substr(0, 1), false) +
                                     clientFrame(ws_opcode::CONTINUATION, euro.substr(1)))),
              std::vector<std::string>{"1 a" + euro});
    EXPECT_EQ(summary(feedAll(r, clientFrame(ws_opcode::BINARY, limit), 4096)),
              std::vector<std::string>{"2 " + limit});
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
        // Our own reader reads it back, given the mask bit and an all-zero key.
        std::string masked = frame;
        masked[1] = static_cast<char>(masked[1] | 0x80);
        masked.insert(c.header, 4, '\0');
        WebSocketReader r;
        const auto m = feedAll(r, masked, 1000);
        ASSERT_EQ(m.size(), 1u) << c.size;
        EXPECT_EQ(m[0].payload.size(), c.size);
    }
}

} // namespace
} // namespace vyn
