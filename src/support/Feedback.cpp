#include "support/Feedback.h"

#include "support/JsonWriter.h"

#include <cstdio>

namespace vyn {

namespace {

constexpr const char* kDot = " \xC2\xB7 ";

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

} // namespace

const char* feedbackProblem(std::string_view reply, std::string_view description) {
    const std::size_t at = reply.find('@');
    const std::size_t dot = at == std::string_view::npos ? at : reply.find('.', at + 1);
    const bool replyOk = at != std::string_view::npos && at > 0 && dot != std::string_view::npos &&
                         dot + 1 < reply.size() && reply.find(' ') == std::string_view::npos;
    if (!replyOk) return feedback_text::kNeedReply;
    if (description.empty()) return feedback_text::kNeedDescription;
    return nullptr;
}

std::string boothAudioLine(const std::string& device, double sampleRate, int channels, int decks) {
    if (sampleRate <= 0.0) return "No active output";
    char text[64];
    std::snprintf(text, sizeof text, "%.0f Hz%s%d out%s%d decks", sampleRate, kDot, channels, kDot,
                  decks);
    return device + kDot + text;
}

std::string boothSummaryText(const BoothSummary& b) {
    return "VYN " + b.version + kDot + b.os + "\n" + b.audioLine + "\nMIDI: " + b.midiDevices;
}

std::string feedbackReportJson(const FeedbackReport& r) {
    std::string subject = "VYN bug \xC2\xB7 " + r.booth.version + kDot + r.booth.os;
    JsonWriter w;
    w.beginObject();
    w.key("email").string(r.replyAddress);
    w.key("_replyto").string(r.replyAddress);
    w.key("_subject").string(subject);
    w.key("_template").string("table");
    w.key("_captcha").string("false");
    w.key("name").string("VYN");
    w.key("host").string(r.host);
    w.key("version").string(r.booth.version);
    w.key("os").string(r.booth.os);
    w.key("audio").string(r.booth.audioLine);
    w.key("decks").integer(r.decks);
    w.key("midi").string(r.booth.midiDevices);
    w.key("worst1s").number(r.worst1s);
    w.key("message").string(r.message);
    w.endObject();
    return w.take();
}

FeedbackOutcome feedbackOutcome(const HttpResponse& response) {
    if (!response.reached) return FeedbackOutcome::Unreachable;
    const std::string& body = response.body;
    if (response.status >= 200 && response.status <= 299) {
        for (const char* success : {"\"success\":true", "\"success\": true", "\"success\":\"true\"",
                                    "\"success\": \"true\""})
            if (body.find(success) != std::string::npos) return FeedbackOutcome::Sent;
    }
    for (const char* word : {"confirmation", "Confirm", "activate", "Activate", "Activation"})
        if (body.find(word) != std::string::npos) return FeedbackOutcome::AwaitingActivation;
    return FeedbackOutcome::NotSent;
}

std::string feedbackOutcomeText(FeedbackOutcome outcome, const std::string& replyFrom) {
    switch (outcome) {
    case FeedbackOutcome::Sent:
        return feedback_text::kSentPrefix + replyFrom;
    case FeedbackOutcome::AwaitingActivation:
        return feedback_text::kAwaitingActivation;
    case FeedbackOutcome::NotSent:
        return feedback_text::kNotSent;
    case FeedbackOutcome::Unreachable:
        break;
    }
    return feedback_text::kUnreachable;
}

UpdateAnnouncement parseVersionFile(std::string_view text, std::string_view platform) {
    UpdateAnnouncement a;
    const std::string urlKey = std::string(platform) + "-url";
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.front() == '#') continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        if (key == platform) a.version = std::string(value);
        if (key == urlKey) a.url = std::string(value);
    }
    return a;
}

bool shouldAnnounceUpdate(const std::string& announced, const std::string& running,
                          const std::string& lastAnnounced) {
    return !announced.empty() && announced != running && announced != lastAnnounced;
}

} // namespace vyn
