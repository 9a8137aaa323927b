// The feedback send and the update check against a local HTTPS server with its own test
// certificate authority: what the report carries, each outcome's message, and the update
// announced once per version.

#include "app/FeedbackControl.h"
#include "app/WindowSettings.h"
#include "common/TestHttpsPeer.h"
#include "common/TestPaths.h"
#include "support/Json.h"
#include "support/SettingsStore.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>

namespace vyn {
namespace {

namespace names = feedback_settings;

class FeedbackHttpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string dir = test::scratchDir("feedback");
        server = std::make_unique<test::TestHttpsPeer>(dir);
        ASSERT_TRUE(server->ok());
        store = openSettingsFile(dir + "/settings.ini");
        store->setText(names::kUrl, server->url("/ajax/relay"));
        store->setText(names::kReply, "maintainers@example.org");
        store->setText(names::kUpdateUrl, server->url("/version.txt"));
        ::vyn::test::setEnvironment("VYN_HTTPS_CA_FILE", server->caFile.c_str());
    }
    void TearDown() override { ::vyn::test::unsetEnvironment("VYN_HTTPS_CA_FILE"); }

    std::unique_ptr<FeedbackControl> control() {
        return std::make_unique<FeedbackControl>(*store, "v0.1.8-beta", [this](bool send) {
            std::lock_guard<std::mutex> lock(mutex);
            (send ? sent : checked) = true;
            wake.notify_all();
        });
    }
    // Waits for the worker's message, then delivers it as the window would.
    void waitFor(bool& flag) {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(wake.wait_for(lock, std::chrono::seconds(60), [&] { return flag; }));
        flag = false;
    }
    std::string sendWith(FeedbackControl& f, const test::TestHttpsPeer::Reply& reply) {
        server->reply("/ajax/relay", reply);
        f.send(report());
        EXPECT_TRUE(f.sending());
        EXPECT_STREQ(f.sendLabel(), "Sending");
        waitFor(sent);
        f.sendFinished();
        EXPECT_FALSE(f.sending());
        return f.message();
    }
    static FeedbackReport report() {
        FeedbackReport r;
        r.host = "booth";
        r.booth = {"v0.1.8-beta", "Linux", "No active output", "none"};
        r.decks = 4;
        r.worst1s = 1.25;
        return r;
    }

    std::unique_ptr<test::TestHttpsPeer> server;
    std::unique_ptr<SettingsStore> store;
    std::mutex mutex;
    std::condition_variable wake;
    bool sent = false, checked = false;
};

TEST_F(FeedbackHttpsTest, TheReportAndEveryOutcome) {
    auto f = control();
    f->replyAddress = "dj@example.org";
    f->description = "Deck 2 \"stuttered\"\n\tafter a load\x01";
    EXPECT_EQ(sendWith(*f, {200, "{\"success\": \"true\"}"}),
              "Sent. We'll reply from maintainers@example.org");
    EXPECT_EQ(store->text(names::kEmail).value_or(""), "dj@example.org");

    const auto requests = server->requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/ajax/relay");
    for (const char* header : {"Content-Type: application/json", "Accept: application/json",
                               "User-Agent: VYN/0.1", "Origin: https://127.0.0.1:"})
        EXPECT_NE(r.headers.find(header), std::string::npos) << header << "\n" << r.headers;
    const JsonParseResult doc = parseJson(r.body);
    ASSERT_TRUE(doc.ok) << r.body;
    std::vector<std::string> keys;
    for (const auto& [key, value] : doc.value.members())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"email", "_replyto", "_subject", "_template",
                                              "_captcha", "name", "host", "version", "os", "audio",
                                              "decks", "midi", "worst1s", "message"}));
    EXPECT_NE(r.body.find("\"message\":\"Deck 2 \\\"stuttered\\\"\\n\\tafter a load\\u0001\""),
              std::string::npos)
        << r.body;

    // Which answers count as sent is Feedback.RelayAnswers'; one refusal shows its message.
    EXPECT_EQ(sendWith(*f, {502, "{\"success\":true}"}), feedback_text::kNotSent);

    // A server this program does not trust is no server at all.
    ::vyn::test::unsetEnvironment("VYN_HTTPS_CA_FILE");
    auto untrusting = control();
    untrusting->replyAddress = "dj@example.org";
    untrusting->description = "x";
    EXPECT_EQ(sendWith(*untrusting, {200, "{\"success\":true}"}), feedback_text::kUnreachable);
    store->setText(names::kUrl, "https://127.0.0.1:9/ajax/relay"); // nothing listens there
    EXPECT_EQ(sendWith(*f, {200, "{\"success\":true}"}), feedback_text::kUnreachable);
}

TEST_F(FeedbackHttpsTest, FormProblemsAndNoRelayNeverSend) {
    // Which forms are incomplete is Feedback.FormValidation's.
    auto f = control();
    f->replyAddress = "dj@example";
    f->description = "x";
    f->send(report());
    EXPECT_EQ(f->message(), feedback_text::kNeedReply);
    f->replyAddress = "dj@example.org";
    store->setText(names::kUrl, "");
    f->send(report());
    EXPECT_EQ(f->message(), feedback_text::kNotConfigured);
    EXPECT_FALSE(f->sending());
    EXPECT_TRUE(server->requests().empty());
}

TEST_F(FeedbackHttpsTest, AnUpdateIsAnnouncedOncePerVersion) {
    server->reply("/version.txt", {200, "# versions\nwindows: v0.3.0\n linux : v0.2.0 \n"
                                        "linux-url: https://example.org/download\n"});
    auto f = control();
    f->startUpdateCheck();
    waitFor(checked);
    ASSERT_TRUE(f->updateCheckFinished());
    EXPECT_EQ(f->promptText(),
              "VYN v0.2.0 is out. This build is v0.1.8-beta\n\nOpen the download page?");
    EXPECT_EQ(store->text(setting_names::kUpdateSeen).value_or(""), "v0.2.0");
    f->answerPrompt(false);
    EXPECT_FALSE(f->prompt());
    const auto requests = server->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_NE(requests[0].headers.find("User-Agent: VYN/v0.1.8-beta"), std::string::npos);
    EXPECT_NE(requests[0].headers.find("Cache-Control: no-cache"), std::string::npos);

    auto again = control(); // the next start: the same version is not announced again
    again->startUpdateCheck();
    waitFor(checked);
    EXPECT_FALSE(again->updateCheckFinished());

    server->reply("/version.txt", {404, "linux: v0.9.0\n"}); // only status 200 counts
    auto missing = control();
    missing->startUpdateCheck();
    waitFor(checked);
    EXPECT_FALSE(missing->updateCheckFinished());
}

} // namespace
} // namespace vyn
