// HTTPS through WinHTTP: one synchronous session per request, TLS 1.2 or newer only, HTTPS URLs
// only. Failures carry the same texts as the libcurl build, so callers and logs read alike.
//
// Extra certificate authorities (caFile) cannot be handed to WinHTTP: with one given, an unknown
// root is let through the handshake and the server's chain is then verified here against the
// system's roots plus that file's certificates, before any body is sent.

#include "support/FileIo.h"
#include "support/HttpClient.h"
#include "support/WideText.h"

#include <windows.h>

#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace vyn {
namespace {

// A WinHTTP handle closed when it goes.
class Handle {
public:
    explicit Handle(HINTERNET h = nullptr) : h_(h) {}
    ~Handle() {
        if (h_) WinHttpCloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

// libcurl's texts for the failures both builds can meet.
std::string errorText(DWORD error) {
    switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return "Couldn't resolve host name";
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_CONNECTION_ERROR:
        return "Couldn't connect to server";
    case ERROR_WINHTTP_TIMEOUT:
        return "Timeout was reached";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        return "SSL peer certificate or SSH remote key was not OK";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
        return "Unsupported protocol";
    case ERROR_WINHTTP_INVALID_URL:
        return "URL using bad/illegal format or missing URL";
    default:
        // The number names the cause where no shared text does.
        return "Failure when receiving data from the peer (WinHTTP error " + std::to_string(error) +
               ")";
    }
}

HttpResponse failure(std::string text) {
    HttpResponse r;
    r.error = std::move(text);
    return r;
}

// The certificates of a PEM file as a memory store; nullptr when it holds none.
HCERTSTORE loadPemStore(const std::string& file) {
    const FileReadResult read = readWholeFile(file, 16u << 20);
    if (!read.ok) return nullptr;
    const std::string& text = read.data;
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store) return nullptr;
    int added = 0;
    const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    for (std::size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at)) {
        const std::size_t stop = text.find(end, at);
        if (stop == std::string::npos) break;
        const std::string pem = text.substr(at, stop + end.size() - at);
        at = stop;
        DWORD size = 0;
        if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                  CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
            continue;
        std::vector<BYTE> der(size);
        if (CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                 CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) &&
            CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                             CERT_STORE_ADD_ALWAYS, nullptr))
            ++added;
    }
    if (added == 0) {
        CertCloseStore(store, 0);
        return nullptr;
    }
    return store;
}

// True when the server's chain ends at a root the system trusts or at one of `extra`, and the
// certificate names `host` and is in date.
bool chainTrusted(HINTERNET request, HCERTSTORE extra, const std::wstring& host) {
    PCCERT_CONTEXT server = nullptr;
    DWORD size = sizeof server;
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || !server)
        return false;
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    bool trusted = false;
    if (CertGetCertificateChain(nullptr, server, nullptr, extra, &para, 0, nullptr, &chain) &&
        chain && chain->cChain > 0) {
        const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
        const DWORD status = chain->TrustStatus.dwErrorStatus;
        bool rootIsExtra = false;
        if (simple->cElement > 0) {
            PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
            PCCERT_CONTEXT found = CertFindCertificateInStore(extra, X509_ASN_ENCODING, 0,
                                                              CERT_FIND_EXISTING, root, nullptr);
            rootIsExtra = found != nullptr;
            if (found) CertFreeCertificateContext(found);
        }
        const DWORD allowed = rootIsExtra ? CERT_TRUST_IS_UNTRUSTED_ROOT : 0;
        const DWORD ignoredRevocation =
            CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
        if ((status & ~(allowed | ignoredRevocation)) == 0) {
            // The name check of the SSL policy, with the root question settled above.
            SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
            ssl.cbSize = sizeof ssl;
            ssl.dwAuthType = AUTHTYPE_SERVER;
            ssl.fdwChecks = rootIsExtra ? SECURITY_FLAG_IGNORE_UNKNOWN_CA : 0;
            ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
            CERT_CHAIN_POLICY_PARA policy{};
            policy.cbSize = sizeof policy;
            policy.pvExtraPolicyPara = &ssl;
            CERT_CHAIN_POLICY_STATUS result{};
            result.cbSize = sizeof result;
            trusted =
                CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result) &&
                result.dwError == 0;
        }
    }
    if (chain) CertFreeCertificateChain(chain);
    CertFreeCertificateContext(server);
    return trusted;
}

} // namespace

HttpResponse sendHttpRequest(const HttpRequest& request) {
    const std::wstring url = widen(request.url);
    if (url.empty()) return failure(errorText(ERROR_WINHTTP_INVALID_URL));
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return failure(errorText(ERROR_WINHTTP_INVALID_URL));
    if (parts.nScheme != INTERNET_SCHEME_HTTPS)
        return failure(errorText(ERROR_WINHTTP_UNRECOGNIZED_SCHEME));
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    HCERTSTORE extra = nullptr;
    if (!request.caFile.empty()) {
        extra = loadPemStore(request.caFile);
        if (!extra) return failure("Problem with the SSL CA cert (path? access rights?)");
    }
    struct StoreCloser {
        HCERTSTORE s;
        ~StoreCloser() {
            if (s) CertCloseStore(s, 0);
        }
    } closeExtra{extra};

    const std::wstring agent = widen(request.userAgent);
    HINTERNET opened = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!opened) // systems before Windows 8.1 know no automatic proxy: the default one then
        opened = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    Handle session(opened);
    if (!session) return failure("could not start a request");
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
#ifdef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
    protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
#endif
    if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                          sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                              sizeof protocols))
            return failure("could not start a request");
    }
    const int stepMs = static_cast<int>(request.timeoutSeconds * 1000);
    WinHttpSetTimeouts(session.get(), stepMs, stepMs, stepMs * 3, stepMs * 3);

    Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) return failure(errorText(GetLastError()));
    const std::wstring method = widen(request.method);
    Handle call(WinHttpOpenRequest(connection.get(), method.c_str(), path.c_str(), nullptr,
                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                   WINHTTP_FLAG_SECURE));
    if (!call) return failure(errorText(GetLastError()));
    // Redirects stay on HTTPS.
    DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(call.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof redirects);
    if (extra) {
        DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        WinHttpSetOption(call.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }

    std::wstring headers;
    for (const std::string& h : request.headers)
        headers += widen(h) + L"\r\n";
    const bool post = request.method == "POST";
    const bool sent = WinHttpSendRequest(
        call.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
        headers.empty() ? 0 : static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0,
        post ? static_cast<DWORD>(request.body.size()) : 0, 0);
    if (!sent) return failure(errorText(GetLastError()));
    // With extra authorities the handshake let an unknown root through: the chain is checked
    // here, before the body leaves.
    if (extra && !chainTrusted(call.get(), extra, host))
        return failure(errorText(ERROR_WINHTTP_SECURE_INVALID_CA));
    if (post) {
        std::size_t at = 0;
        while (at < request.body.size()) {
            DWORD written = 0;
            const DWORD chunk =
                static_cast<DWORD>(std::min<std::size_t>(request.body.size() - at, 1u << 20));
            if (!WinHttpWriteData(call.get(), request.body.data() + at, chunk, &written) ||
                written == 0)
                return failure(errorText(GetLastError()));
            at += written;
        }
    }
    if (!WinHttpReceiveResponse(call.get(), nullptr)) return failure(errorText(GetLastError()));

    HttpResponse response;
    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(call.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return failure(errorText(GetLastError()));
    // The rest beyond maxBody is read and dropped, so the exchange still completes.
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (!WinHttpReadData(call.get(), buffer, sizeof buffer, &got))
            return failure(errorText(GetLastError()));
        if (got == 0) break;
        const std::size_t room = request.maxBody - response.body.size();
        response.body.append(buffer, got < room ? got : room);
    }
    response.reached = true;
    response.status = static_cast<long>(status);
    return response;
}

} // namespace vyn
