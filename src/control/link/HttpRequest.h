#pragma once
// The HTTP side of the Link server: the request reader (just enough of HTTP/1.1 to serve the page
// and recognise a WebSocket upgrade), the WebSocket accept value, the Origin check, and the exact
// response texts.

#include <cstddef>
#include <string>
#include <string_view>

namespace vyn {

enum class HttpParse { Incomplete, Malformed, Complete };

struct HttpRequest {
    std::string method;
    std::string target;
    std::string upgrade;         // lowered
    std::string webSocketKey;    // as sent
    std::string origin;          // as sent; empty when absent
    std::string host;            // as sent; empty when absent
    std::size_t headerBytes = 0; // bytes up to and including the blank line
};

inline constexpr std::size_t kHttpRequestLimit = 16384;

// Reads the request at the start of `text` (everything received so far on the connection).
HttpParse parseHttpRequest(std::string_view text, HttpRequest& out);

bool wantsWebSocket(const HttpRequest& request);

// Base64 of SHA-1(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11").
std::string webSocketAccept(std::string_view key);

// A browser names the page that opened the socket in Origin. A socket opened by a page from any
// other host is refused, so that a web site the phone happens to visit cannot drive the decks.
// Clients that send no Origin (native apps, tools) are let through; "null" origins are not.
bool originMatchesHost(const HttpRequest& request);

std::string pageResponse(std::string_view body);
std::string upgradeResponse(std::string_view acceptValue);
std::string forbiddenResponse();

} // namespace vyn
