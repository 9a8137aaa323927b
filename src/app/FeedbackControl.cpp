#include "app/FeedbackControl.h"

#include "app/WindowSettings.h"
#include "support/SettingsStore.h"

#include "support/Desktop.h"

#include <cstdlib>

#ifndef VYN_FEEDBACK_URL
#define VYN_FEEDBACK_URL ""
#endif
#ifndef VYN_FEEDBACK_REPLY
#define VYN_FEEDBACK_REPLY ""
#endif
#ifndef VYN_UPDATE_URL
#define VYN_UPDATE_URL ""
#endif

namespace vyn {

namespace names = feedback_settings;

namespace {

std::string setting(const SettingsStore& store, const char* key, const char* fallback) {
    return store.text(key).value_or(fallback);
}

// "https://host[:port]" of an address, for the Origin and Referer headers.
std::string originOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return {};
    const std::size_t path = url.find('/', scheme + 3);
    return url.substr(0, path);
}

} // namespace

FeedbackControl::FeedbackControl(SettingsStore& store, std::string runningVersion,
                                 std::function<void(bool)> post)
    : store_(store), running_(std::move(runningVersion)), post_(std::move(post)) {
    replyAddress = store_.text(names::kEmail).value_or("");
    if (const char* ca = std::getenv("VYN_HTTPS_CA_FILE")) caFile_ = ca;
}

FeedbackControl::~FeedbackControl() {
    join();
}

void FeedbackControl::join() {
    if (sendThread_.joinable()) sendThread_.join();
    if (checkThread_.joinable()) checkThread_.join();
}

void FeedbackControl::send(FeedbackReport report) {
    if (sending_) return;
    if (const char* problem = feedbackProblem(replyAddress, description)) {
        message_ = problem;
        return;
    }
    const std::string url = setting(store_, names::kUrl, VYN_FEEDBACK_URL);
    if (url.empty()) {
        message_ = feedback_text::kNotConfigured;
        return;
    }
    store_.setText(names::kEmail, replyAddress);
    replyFrom_ = setting(store_, names::kReply, VYN_FEEDBACK_REPLY);
    report.replyAddress = replyAddress;
    report.message = description;

    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.userAgent = "VYN/0.1";
    request.timeoutSeconds = 15;
    request.maxBody = 64 * 1024;
    request.caFile = caFile_;
    request.body = feedbackReportJson(report);
    request.headers = {"Content-Type: application/json", "Accept: application/json"};
    const std::string site = originOf(setting(store_, names::kUpdateUrl, VYN_UPDATE_URL));
    if (!site.empty()) {
        request.headers.push_back("Origin: " + site);
        request.headers.push_back("Referer: " + site + "/");
    }
    if (sendThread_.joinable()) sendThread_.join();
    sending_ = true;
    message_.clear();
    sendThread_ = std::thread([this, request = std::move(request)] {
        const FeedbackOutcome outcome = feedbackOutcome(sendHttpRequest(request));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            outcome_ = outcome;
        }
        if (post_) post_(true);
    });
}

void FeedbackControl::sendFinished() {
    if (!sending_) return;
    if (sendThread_.joinable()) sendThread_.join();
    sending_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    message_ = feedbackOutcomeText(outcome_, replyFrom_);
}

void FeedbackControl::startUpdateCheck() {
    const std::string url = setting(store_, names::kUpdateUrl, VYN_UPDATE_URL);
    if (url.empty() || checkThread_.joinable()) return;
    HttpRequest request;
    request.url = url;
    request.userAgent = "VYN/" + running_;
    request.timeoutSeconds = 8;
    request.maxBody = 8 * 1024;
    request.caFile = caFile_;
    request.headers = {"Cache-Control: no-cache"};
    checkThread_ = std::thread([this, request = std::move(request)] {
        const HttpResponse response = sendHttpRequest(request);
        UpdateAnnouncement announced;
        if (response.reached && response.status == 200)
            announced = parseVersionFile(response.body, kPlatform);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            announced_ = std::move(announced);
        }
        if (post_) post_(false);
    });
}

bool FeedbackControl::updateCheckFinished() {
    if (checkThread_.joinable()) checkThread_.join();
    UpdateAnnouncement announced;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        announced = announced_;
    }
    const std::string seen = store_.text(setting_names::kUpdateSeen).value_or("");
    if (!shouldAnnounceUpdate(announced.version, running_, seen)) return false;
    store_.setText(setting_names::kUpdateSeen, announced.version);
    prompt_ = std::move(announced);
    return true;
}

std::string FeedbackControl::promptText() const {
    if (!prompt_) return {};
    return "VYN " + prompt_->version + " is out. This build is " + running_ +
           "\n\nOpen the download page?";
}

void FeedbackControl::answerPrompt(bool yes) {
    if (!prompt_) return;
    const std::string url = prompt_->url;
    prompt_.reset();
    if (yes) openWebPage(url); // only an https:// address goes to the browser
}

} // namespace vyn
