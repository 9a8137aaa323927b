// sendHttpRequest against a real HTTPS peer in a process of its own (node's HTTPS server on a
// loopback port, with a certificate the openssl tool makes), so the same test drives the libcurl
// build on Linux and the WinHTTP build under wine. What the feedback form sends and how it reads
// answers is FeedbackHttps's.

#include "common/TestCertificates.h"
#include "common/TestPaths.h"
#include "support/HttpClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace vyn {
namespace {

class HttpClientPeer : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("http-peer");
        certs = std::make_unique<test::TestCertificates>(dir);
        ASSERT_TRUE(certs->ok);
        // A port someone else holds keeps the server from starting: try a few.
        std::mt19937 pick(std::random_device{}());
        for (int attempt = 0; attempt < 5 && !serving; ++attempt) {
            port = std::to_string(std::uniform_int_distribution<int>(20000, 39999)(pick));
            // Node's HTTPS server (the test tree's browser tests need node anyway) answers every
            // request with the method and path, with a length, on both address families.
            const std::string script =
                "const fs = require('fs');"
                "require('https').createServer({key: fs.readFileSync('server.key'),"
                " cert: fs.readFileSync('server.pem')},"
                " (q, r) => r.end('test peer: ' + q.method + ' ' + q.url)).listen(" +
                port + ");";
            test::runProcess("cd '" + dir + "' && (node -e \"" + script +
                             "\" > server.log 2>&1 & echo $! > server.pid)");
            serving = test::runProcess("for i in $(seq 100); do curl -s --cacert '" + dir +
                                       "/ca.pem' -o /dev/null https://127.0.0.1:" + port +
                                       "/ && exit 0; sleep 0.1; done; exit 1")
                          .exitCode == 0;
            if (!serving) stopServer();
        }
        ASSERT_TRUE(serving) << test::readText(dir + "/server.log");
    }
    void TearDown() override { stopServer(); }
    void stopServer() { test::runProcess("kill $(cat '" + dir + "/server.pid') 2>/dev/null"); }

    HttpRequest request(const std::string& path) const {
        HttpRequest r;
        // By name: wine's WinHTTP matches the certificate's DNS names, not its IP addresses.
        r.url = "https://localhost:" + port + path;
        r.caFile = certs->caFile;
        r.timeoutSeconds = 10;
        return r;
    }

    std::string dir, port;
    std::unique_ptr<test::TestCertificates> certs;
    bool serving = false;
};

TEST_F(HttpClientPeer, TrustsTheGivenAuthorityAndCapsTheBody) {
    const HttpResponse whole = sendHttpRequest(request("/ask?x=1"));
    ASSERT_TRUE(whole.reached) << whole.error;
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body, "test peer: GET /ask?x=1");

    HttpRequest capped = request("/ask?x=1");
    capped.maxBody = 16;
    const HttpResponse part = sendHttpRequest(capped);
    EXPECT_EQ(part.body, whole.body.substr(0, 16)) << part.error;
}

TEST_F(HttpClientPeer, RefusesAnUnknownAuthorityAndPlainHttp) {
    HttpRequest unknown = request("/");
    unknown.caFile.clear(); // the test authority is not among the system's
    const HttpResponse refused = sendHttpRequest(unknown);
    EXPECT_FALSE(refused.reached);
    EXPECT_FALSE(refused.error.empty());

    HttpRequest plain = request("/");
    plain.url = "http://localhost:" + port + "/";
    const HttpResponse notSent = sendHttpRequest(plain);
    EXPECT_FALSE(notSent.reached);
    EXPECT_FALSE(notSent.error.empty());
}

} // namespace
} // namespace vyn
