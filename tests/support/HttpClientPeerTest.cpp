// sendHttpRequest against a real HTTPS peer in a process of its own (node's HTTPS server), so the
// same test drives the libcurl build on Linux and the WinHTTP build under wine. What the feedback
// form sends and how it reads answers is FeedbackHttps's.

#include "common/TestHttpsPeer.h"
#include "support/HttpClient.h"

#include <gtest/gtest.h>

#include <string>

namespace vyn {
namespace {

class HttpClientPeer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.ok()); }

    HttpRequest request(const std::string& path) const {
        HttpRequest r;
        // By name: wine's WinHTTP matches the certificate's DNS names, not its IP addresses.
        r.url = peer.url(path, "localhost");
        r.caFile = peer.caFile;
        r.timeoutSeconds = 10;
        return r;
    }

    test::TestHttpsPeer peer{test::scratchDir("http-peer")};
};

TEST_F(HttpClientPeer, TrustsTheGivenAuthorityAndCapsTheBody) {
    peer.reply("/ask?x=1", {201, "the answer, whole or in part"});
    const HttpResponse whole = sendHttpRequest(request("/ask?x=1"));
    ASSERT_TRUE(whole.reached) << whole.error;
    EXPECT_EQ(whole.status, 201);
    EXPECT_EQ(whole.body, "the answer, whole or in part");
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0].method + " " + peer.requests()[0].path, "GET /ask?x=1");

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
    plain.url = "http://localhost:" + peer.port + "/";
    const HttpResponse notSent = sendHttpRequest(plain);
    EXPECT_FALSE(notSent.reached);
    EXPECT_FALSE(notSent.error.empty());
}

} // namespace
} // namespace vyn
