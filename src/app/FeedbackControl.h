#pragma once
// The feedback window's state and the update check. Send validates the form, remembers the reply
// address (feedbackEmail) and posts the report to the relay on a worker thread; the update check
// fetches the version file once at start on its own thread. Both report back through posted
// application messages; the announcement of a new version is shown once per version
// (updateSeen).
//
// The relay endpoint, the maintainers' reply address and the version file's address are
// settings (feedbackUrl, feedbackReply, updateUrl) whose defaults are fixed when the program is
// built; either may be empty, which turns the feature off. VYN_HTTPS_CA_FILE names extra
// certificate authorities to trust (a private relay, the tests' own server).
//
// Threading: user-interface thread, except the workers, which only fill their result under the
// object's mutex and post a message.

#include "support/Feedback.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vyn {

class SettingsStore;

namespace feedback_settings {
inline constexpr const char* kEmail = "feedbackEmail";
inline constexpr const char* kUrl = "feedbackUrl";
inline constexpr const char* kReply = "feedbackReply";
inline constexpr const char* kUpdateUrl = "updateUrl";
} // namespace feedback_settings

class FeedbackControl {
public:
    static constexpr const char* kTitle = "Feedback";
    static constexpr const char* kPromptTitle = "VYN update";
    static constexpr const char* kPlatform = "linux";
    static constexpr const char* kOs = "Linux";

    // `post` delivers a message to the user-interface thread: true for the send, false for
    // the update check.
    FeedbackControl(SettingsStore& store, std::string runningVersion,
                    std::function<void(bool send)> post);
    ~FeedbackControl();
    FeedbackControl(const FeedbackControl&) = delete;
    FeedbackControl& operator=(const FeedbackControl&) = delete;

    // --- the form ---
    std::string replyAddress;
    std::string description;
    // Validates and starts the send with the booth's report; a send in progress ignores it.
    void send(FeedbackReport report);
    bool sending() const { return sending_; }
    const char* sendLabel() const { return sending_ ? "Sending" : "Send"; }
    const std::string& message() const { return message_; }
    // The worker finished (its message arrived).
    void sendFinished();

    // --- update check ---
    void startUpdateCheck();
    // The check finished: true when the prompt is to be shown (then updateSeen is saved).
    bool updateCheckFinished();
    const std::optional<UpdateAnnouncement>& prompt() const { return prompt_; }
    std::string promptText() const;
    // The answer: yes opens the download page.
    void answerPrompt(bool yes);

    // Waits for the workers (shutdown).
    void join();

    const std::string& runningVersion() const { return running_; }

private:
    SettingsStore& store_;
    std::string running_;
    std::function<void(bool)> post_;
    std::string caFile_;
    std::mutex mutex_;
    std::thread sendThread_;
    std::thread checkThread_;
    bool sending_ = false;
    std::string message_;
    std::string replyFrom_;
    FeedbackOutcome outcome_ = FeedbackOutcome::Unreachable; // under mutex_
    UpdateAnnouncement announced_;                           // under mutex_
    std::optional<UpdateAnnouncement> prompt_;
};

} // namespace vyn
