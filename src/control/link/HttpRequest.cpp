#include "control/link/HttpRequest.h"

#include "support/Base64.h"
#include "support/Sha1.h"

#include <charconv>

namespace vyn {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

struct Authority {
    std::string host; // lowered, brackets kept for IPv6 literals
    int port = -1;
    bool ok = false;
};

// "host", "host:port", "[v6]:port" with the scheme's default port when none is given.
Authority readAuthority(std::string_view text, int defaultPort) {
    Authority a;
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return a;
        host = text.substr(0, close + 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return a;
            port = rest.substr(1);
        }
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
    }
    if (host.empty()) return a;
    a.host = lowered(host);
    if (port.empty()) {
        a.port = defaultPort;
    } else {
        int p = -1;
        const auto r = std::from_chars(port.data(), port.data() + port.size(), p);
        if (r.ec != std::errc() || r.ptr != port.data() + port.size() || p < 0 || p > 65535)
            return a;
        a.port = p;
    }
    a.ok = true;
    return a;
}

} // namespace

HttpParse parseHttpRequest(std::string_view text, HttpRequest& out) {
    const std::size_t end = text.find("\r\n\r\n");
    if (text.size() < 4 || end == std::string_view::npos) return HttpParse::Incomplete;
    out = HttpRequest{};
    out.headerBytes = end + 4;
    std::string_view head = text.substr(0, end + 2); // every line keeps its CRLF

    const std::size_t lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    const std::size_t blank1 = requestLine.find(' ');
    if (blank1 == std::string_view::npos) return HttpParse::Malformed;
    const std::size_t blank2 = requestLine.find(' ', blank1 + 1);
    if (blank2 == std::string_view::npos) return HttpParse::Malformed;
    out.method = std::string(requestLine.substr(0, blank1));
    out.target = std::string(requestLine.substr(blank1 + 1, blank2 - blank1 - 1));

    std::size_t pos = lineEnd + 2;
    while (pos < head.size()) {
        const std::size_t next = head.find("\r\n", pos);
        const std::string_view line = head.substr(pos, next - pos);
        pos = next + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name = lowered(trim(line.substr(0, colon)));
        const std::string_view value = trim(line.substr(colon + 1));
        if (name == "upgrade")
            out.upgrade = lowered(value);
        else if (name == "sec-websocket-key")
            out.webSocketKey = std::string(value);
        else if (name == "origin")
            out.origin = std::string(value);
        else if (name == "host")
            out.host = std::string(value);
    }
    return HttpParse::Complete;
}

bool wantsWebSocket(const HttpRequest& request) {
    return request.upgrade == "websocket" && !request.webSocketKey.empty();
}

std::string webSocketAccept(std::string_view key) {
    Sha1 sha;
    sha.update(key);
    sha.update("258EAFA5-E914-47DA-95CA-C5AB0DC85B11");
    const Sha1::Digest d = sha.finish();
    return base64::encode(d.data(), d.size());
}

bool originMatchesHost(const HttpRequest& request) {
    if (request.origin.empty()) return true;
    const std::string origin = lowered(request.origin);
    int defaultPort;
    std::string_view rest;
    if (origin.rfind("http://", 0) == 0) {
        defaultPort = 80;
        rest = std::string_view(origin).substr(7);
    } else if (origin.rfind("https://", 0) == 0) {
        defaultPort = 443;
        rest = std::string_view(origin).substr(8);
    } else {
        return false; // "null", other schemes
    }
    if (rest.find('/') != std::string_view::npos) return false;
    const Authority from = readAuthority(rest, defaultPort);
    // The Host header carries no scheme; the page was fetched with the origin's scheme.
    const Authority to = readAuthority(request.host, defaultPort);
    return from.ok && to.ok && from.host == to.host && from.port == to.port;
}

std::string pageResponse(std::string_view body) {
    std::string r = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                    "Cache-Control: no-store\r\nContent-Length: ";
    r += std::to_string(body.size());
    r += "\r\nConnection: close\r\n\r\n";
    r += body;
    return r;
}

std::string upgradeResponse(std::string_view acceptValue) {
    std::string r = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                    "Connection: Upgrade\r\nSec-WebSocket-Accept: ";
    r += acceptValue;
    r += "\r\n\r\n";
    return r;
}

std::string forbiddenResponse() {
    const std::string_view body = "Cross-site connection refused.\n";
    std::string r = "HTTP/1.1 403 Forbidden\r\nContent-Type: text/plain; charset=utf-8\r\n"
                    "Content-Length: ";
    r += std::to_string(body.size());
    r += "\r\nConnection: close\r\n\r\n";
    r += body;
    return r;
}

} // namespace vyn
