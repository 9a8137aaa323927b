// The HTTP request reader, the Origin check and the exact response bytes.

#include "control/link/HttpRequest.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

HttpRequest parsed(const std::string& text, HttpParse expected = HttpParse::Complete) {
    HttpRequest r;
    EXPECT_EQ(parseHttpRequest(text, r), expected) << text;
    return r;
}

TEST(HttpRequestReader, WaitsForTheBlankLineAndNeedsTwoBlanksInTheRequestLine) {
    using P = HttpParse;
    const std::pair<const char*, HttpParse> cases[] = {
        {"", P::Incomplete},
        {"GET", P::Incomplete},
        {"GET / HTTP/1.1\r\nHost: a\r\n", P::Incomplete},
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", P::Complete},
        {"GET /\r\n\r\n", P::Malformed},
        {"GARBAGE\r\n\r\n", P::Malformed},
    };
    for (const auto& [text, expected] : cases)
        parsed(text, expected);
    const HttpRequest r = parsed("POST /favicon.ico HTTP/1.1\r\n\r\n");
    EXPECT_EQ(r.method + " " + r.target, "POST /favicon.ico");
}

TEST(HttpRequestReader, HeadersAreCaseInsensitiveAndTrimmed) {
    const std::string text = "GET /ws HTTP/1.1\r\n"
                             "  UpGrade  :\t WebSocket \r\n"
                             "no colon on this line\r\n"
                             "SEC-WEBSOCKET-KEY: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                             "Origin: http://192.168.1.5:17999\r\n"
                             "Host: 192.168.1.5:17999\r\n\r\n"
                             "trailing bytes";
    const HttpRequest r = parsed(text);
    EXPECT_EQ(r.upgrade, "websocket");
    EXPECT_EQ(r.webSocketKey, "dGhlIHNhbXBsZSBub25jZQ==");
    EXPECT_EQ(r.origin, "http://192.168.1.5:17999");
    EXPECT_EQ(r.host, "192.168.1.5:17999");
    EXPECT_TRUE(wantsWebSocket(r));
    EXPECT_EQ(text.substr(r.headerBytes), "trailing bytes");
    // An upgrade needs both the websocket Upgrade header and a key.
    EXPECT_FALSE(wantsWebSocket(parsed("GET /ws HTTP/1.1\r\nUpgrade: websocket\r\n\r\n")));
    EXPECT_FALSE(wantsWebSocket(parsed("GET /ws HTTP/1.1\r\nSec-WebSocket-Key: x\r\n\r\n")));
    EXPECT_FALSE(
        wantsWebSocket(parsed("GET /ws HTTP/1.1\r\nUpgrade: h2c\r\nSec-WebSocket-Key: x\r\n\r\n")));
}

TEST(OriginCheck, OnlyTheServedHostMayUpgrade) {
    const struct {
        const char* origin;
        const char* host;
        bool allowed;
    } cases[] = {
        {"", "192.168.1.5:17999", true}, // native clients send none
        {"http://192.168.1.5:17999", "192.168.1.5:17999", true},
        {"HTTP://Studio.Local:17999", "studio.local:17999", true},
        {"http://studio.local", "studio.local:80", true}, // default ports
        {"https://studio.local", "studio.local", true},
        {"http://[fe80::1]:17999", "[fe80::1]:17999", true},
        {"http://evil.example", "192.168.1.5:17999", false},
        {"http://192.168.1.5:8080", "192.168.1.5:17999", false}, // another server on the host
        {"http://192.168.1.5", "192.168.1.5:17999", false},
        {"null", "192.168.1.5:17999", false}, // sandboxed or file pages
        {"file://", "192.168.1.5:17999", false},
        {"http://192.168.1.5:17999", "", false},
        {"http://192.168.1.5:17999/path", "192.168.1.5:17999", false},
        {"http://192.168.1.5:99999", "192.168.1.5:99999", false},
    };
    for (const auto& c : cases) {
        HttpRequest r;
        r.origin = c.origin;
        r.host = c.host;
        EXPECT_EQ(originMatchesHost(r), c.allowed) << c.origin << " vs " << c.host;
    }
}

TEST(HttpResponses, ExactBytes) {
    EXPECT_EQ(pageResponse("VYN"), "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                                   "Cache-Control: no-store\r\nContent-Length: 3\r\n"
                                   "Connection: close\r\n\r\nVYN");
    // The length counts bytes, not characters.
    EXPECT_NE(pageResponse("\xC3\xA9").find("Content-Length: 2\r\n"), std::string::npos);
    // The accept key of RFC 6455's sample key.
    EXPECT_EQ(webSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    EXPECT_EQ(upgradeResponse("s3pPLMBiTxaQ9kYGzzhZRbK+xOo="),
              "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
    const std::string forbidden = forbiddenResponse();
    const std::size_t body = forbidden.find("\r\n\r\n") + 4;
    EXPECT_EQ(forbidden.rfind("HTTP/1.1 403 Forbidden\r\n", 0), 0u);
    EXPECT_NE(forbidden.find("Content-Length: " + std::to_string(forbidden.size() - body) + "\r\n"),
              std::string::npos);
}

} // namespace
} // namespace vyn
