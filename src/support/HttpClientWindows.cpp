// Windows: HTTPS through WinHTTP is not built yet; a request says so instead of pretending.

#include "support/HttpClient.h"

namespace vyn {

HttpResponse sendHttpRequest(const HttpRequest&) {
    HttpResponse r;
    r.error = "HTTPS is not available in this Windows build yet.";
    return r;
}

} // namespace vyn
