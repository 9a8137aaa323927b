// The feedback form's rules, the relay's answers and the version file, as data.

#include "support/Feedback.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

TEST(Feedback, FormValidation) {
    EXPECT_EQ(feedbackProblem("dj@example.org", "it broke"), nullptr);
    EXPECT_EQ(feedbackProblem("a@b.c", "x"), nullptr);
    EXPECT_STREQ(feedbackProblem("dj@example.org", ""), feedback_text::kNeedDescription);
    // The dot must follow the @, with something on either side of both.
    for (const char* reply :
         {"@example.org", "dj@example", "dj@example.", "dj.name@example", "dj @example.org", ""})
        EXPECT_STREQ(feedbackProblem(reply, "x"), feedback_text::kNeedReply) << reply;
}

TEST(Feedback, RelayAnswers) {
    const std::pair<HttpResponse, FeedbackOutcome> cases[] = {
        {{true, 200, "{\"success\":true}", ""}, FeedbackOutcome::Sent},
        {{true, 201, "{\"success\": true}", ""}, FeedbackOutcome::Sent},
        {{true, 200, "{\"success\":\"true\"}", ""}, FeedbackOutcome::Sent},
        {{true, 299, "{\"success\": \"true\"}", ""}, FeedbackOutcome::Sent},
        {{true, 200, "{\"success\":  true}", ""}, FeedbackOutcome::NotSent},
        {{true, 200, "{\"success\":\"false\",\"message\":\"needs confirmation\"}", ""},
         FeedbackOutcome::AwaitingActivation},
        {{true, 403, "Please Activate this form", ""}, FeedbackOutcome::AwaitingActivation},
        {{true, 404, "", ""}, FeedbackOutcome::NotSent},
        {{false, 0, "", ""}, FeedbackOutcome::Unreachable},
    };
    for (const auto& [response, outcome] : cases)
        EXPECT_EQ(feedbackOutcome(response), outcome) << response.status << " " << response.body;
}

TEST(Feedback, VersionFileAndBoothSummary) {
    const UpdateAnnouncement a = parseVersionFile("#linux: v9\nlinux v8\n\tlinux\t:\tv0.2.0\r\n"
                                                  "linux-url: https://x.org/get?a=b:c\n",
                                                  "linux");
    EXPECT_EQ(a.version, "v0.2.0");
    EXPECT_EQ(a.url, "https://x.org/get?a=b:c");
    EXPECT_TRUE(parseVersionFile("windows: v1\n", "linux").version.empty());
    EXPECT_TRUE(shouldAnnounceUpdate("v0.2.0", "v0.1.8-beta", ""));
    EXPECT_FALSE(shouldAnnounceUpdate("v0.2.0", "v0.1.8-beta", "v0.2.0"));
    EXPECT_FALSE(shouldAnnounceUpdate("v0.1.8-beta", "v0.1.8-beta", ""));
    EXPECT_FALSE(shouldAnnounceUpdate("", "v0.1.8-beta", ""));

    const BoothSummary b{"v0.1.8-beta", "Linux", boothAudioLine("JACK", 48000.0, 8, 4), "DDJ, CDJ"};
    EXPECT_EQ(boothSummaryText(b), "VYN v0.1.8-beta \xC2\xB7 Linux\nJACK \xC2\xB7 48000 Hz "
                                   "\xC2\xB7 8 out \xC2\xB7 4 decks\nMIDI: DDJ, CDJ");
    EXPECT_EQ(boothAudioLine("JACK", 0.0, 0, 4), "No active output");
}

} // namespace
} // namespace vyn
