#pragma once
// The feedback report and the update check, without the network: the form's validation, the
// booth summary, the report document (JSON, keys in a fixed order), how the relay's answer is
// read, the version file and the rule that announces each new version once.
//
// Threading: plain functions.

#include "support/HttpClient.h"

#include <string>
#include <string_view>

namespace vyn {

namespace feedback_text {
inline constexpr const char* kNeedReply = "Need a reply address \xE2\x80\x94 we email you back.";
inline constexpr const char* kNeedDescription = "Need a few words about what happened.";
inline constexpr const char* kSentPrefix = "Sent. We'll reply from ";
inline constexpr const char* kAwaitingActivation =
    "The feedback relay is still waiting for the maintainers to confirm its activation e-mail. "
    "Please send again later.";
inline constexpr const char* kNotSent = "Could not send. Check the network, then try again.";
inline constexpr const char* kUnreachable =
    "Could not reach the network. Check the connection and try again.";
inline constexpr const char* kNotConfigured =
    "Feedback is not configured in this build (no relay address).";
} // namespace feedback_text

// Null when the form can be sent, else the message to show.
const char* feedbackProblem(std::string_view replyAddress, std::string_view description);

struct BoothSummary {
    std::string version;   // "v0.1.8-beta"
    std::string os;        // "Linux"
    std::string audioLine; // "ALSA (default) · 48000 Hz · 2 out · 4 decks", or "No active output"
    std::string midiDevices; // "A, B", or "none"
};

// Three lines: "VYN <version> · <os>", the audio line, "MIDI: <devices>".
std::string boothSummaryText(const BoothSummary& booth);
// The audio line for a running output, or "No active output" when sampleRate is 0.
std::string boothAudioLine(const std::string& device, double sampleRate, int channels, int decks);

struct FeedbackReport {
    std::string replyAddress;
    std::string host;
    BoothSummary booth;
    int decks = 0;
    double worst1s = 0.0; // the engine's slowest render block of the last second, ms
    std::string message;
};

// The relay's JSON document: email, _replyto, _subject, _template, _captcha, name, host,
// version, os, audio, decks, midi, worst1s, message, in that order.
std::string feedbackReportJson(const FeedbackReport& report);

enum class FeedbackOutcome { Sent, AwaitingActivation, NotSent, Unreachable };
FeedbackOutcome feedbackOutcome(const HttpResponse& response);
// The message for an outcome; `replyFrom` is the maintainers' address for Sent.
std::string feedbackOutcomeText(FeedbackOutcome outcome, const std::string& replyFrom);

struct UpdateAnnouncement {
    std::string version; // empty: nothing announced for this platform
    std::string url;
};

// "key: value" lines; blanks around both trimmed; lines starting with '#' or without ':'
// skipped. `platform` names the keys ("linux" reads linux and linux-url).
UpdateAnnouncement parseVersionFile(std::string_view text, std::string_view platform);

// True when `announced` is a version other than the running one that was not announced before.
bool shouldAnnounceUpdate(const std::string& announced, const std::string& running,
                          const std::string& lastAnnounced);

} // namespace vyn
