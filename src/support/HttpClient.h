#pragma once
// Small outbound HTTPS requests (the feedback report, the update check): one blocking call with
// timeouts, TLS 1.2 or newer required explicitly, a capped response body. libcurl on Linux,
// WinHTTP on Windows.
//
// Threading: any thread; each call is independent (the library is initialised once, safely).

#include <cstddef>
#include <string>
#include <vector>

namespace vyn {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headers; // "Name: value"
    std::string body;
    std::string userAgent;
    long timeoutSeconds = 15; // for resolving, connecting and the whole transfer each
    std::size_t maxBody = 64 * 1024;
    // Extra certificate authorities (a PEM file) besides the system's; empty: the system's only.
    std::string caFile;
};

struct HttpResponse {
    bool reached = false; // a response arrived (any status)
    long status = 0;
    std::string body;  // at most maxBody bytes
    std::string error; // why nothing arrived
};

HttpResponse sendHttpRequest(const HttpRequest& request);

} // namespace vyn
