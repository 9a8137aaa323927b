// The HTTP request reader on any bytes received so far: it waits until the blank line, a
// complete request ends exactly there, more bytes behind it change nothing, and the upgrade
// header comes back lowered.

#include "FuzzTarget.h"
#include "control/link/HttpRequest.h"

#include <string_view>

VYN_FUZZ_TARGET(http) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vyn::HttpRequest request;
    const vyn::HttpParse status = vyn::parseHttpRequest(text, request);
    const std::size_t blank = text.find("\r\n\r\n");
    if (blank == std::string_view::npos) {
        vyn::fuzz::require(status == vyn::HttpParse::Incomplete, "without a blank line it waits");
        return;
    }
    if (status == vyn::HttpParse::Incomplete) {
        vyn::fuzz::require(false, "a blank line ends the waiting");
        return;
    }
    if (status == vyn::HttpParse::Malformed) return;
    vyn::fuzz::require(request.headerBytes == blank + 4, "the request ends at the blank line");
    vyn::fuzz::require(request.method.find(' ') == std::string::npos &&
                           request.target.find(' ') == std::string::npos,
                       "method and target hold no blank");
    for (char c : request.upgrade)
        vyn::fuzz::require(c < 'A' || c > 'Z', "the upgrade header is lowered");
    vyn::HttpRequest head;
    vyn::fuzz::require(vyn::parseHttpRequest(text.substr(0, request.headerBytes), head) ==
                               vyn::HttpParse::Complete &&
                           head.method == request.method && head.target == request.target &&
                           head.upgrade == request.upgrade &&
                           head.webSocketKey == request.webSocketKey &&
                           head.origin == request.origin && head.host == request.host,
                       "bytes behind the blank line change nothing");
    vyn::originMatchesHost(request);
    if (vyn::wantsWebSocket(request))
        vyn::fuzz::require(vyn::webSocketAccept(request.webSocketKey).size() == 28,
                           "the accept value is a Base64 SHA-1");
}
