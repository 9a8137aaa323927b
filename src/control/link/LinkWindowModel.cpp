#include "control/link/LinkWindowModel.h"

#include "control/link/LinkHost.h"
#include "control/link/LinkPage.h"
#include "control/link/LinkProtocol.h"

#include <algorithm>

namespace vyn {

LinkWindowModel::LinkWindowModel() {
    relink();
}

void LinkWindowModel::drawCode() {
    setCode(drawPairingCode());
}

void LinkWindowModel::setCode(std::string code) {
    code_ = std::move(code);
    relink();
}

void LinkWindowModel::setPort(int port) {
    port_ = port;
    relink();
}

void LinkWindowModel::setAddresses(std::vector<std::string> addresses) {
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    addresses_ = std::move(addresses);
    relink();
}

void LinkWindowModel::relink() {
    std::string link = vyn::pairingLink(addresses_, port_, code_);
    if (link == link_ && (link.empty() || !qr_.empty())) return;
    link_ = std::move(link);
    qr_ = encodePairingQr(link_);
}

void LinkWindowModel::startLink(LinkHost& host, bool audioRunning) {
    if (!audioRunning) {
        message_ = kAudioNotRunning;
        return;
    }
    LinkSettings settings;
    settings.port = static_cast<std::uint16_t>(port_);
    settings.pairingCode = code_;
    settings.stateRate = 30;
    settings.connectionLimit = 8;
    settings.pageProvider = [] { return std::string(linkPage()); };
    if (!host.start(std::move(settings))) {
        message_ = kPortFailed;
        running_ = false;
        return;
    }
    message_.clear();
    running_ = true;
}

void LinkWindowModel::stopLink(LinkHost& host) {
    host.stop();
    running_ = false;
    connected_ = 0;
}

void LinkWindowModel::newCode(LinkHost& host) {
    drawCode();
    if (host.running()) {
        host.stop();
        startLink(host, true);
    }
}

void LinkWindowModel::refresh(const LinkHost& host) {
    setServerState(host.running(), host.server().connectedCount(), host.server().wrongCodeCount());
}

void LinkWindowModel::setServerState(bool running, int connected, int wrongCodes) {
    running_ = running;
    connected_ = connected;
    wrongCodes_ = wrongCodes;
}

std::string LinkWindowModel::statusLine() const {
    std::string s = "link  \xC2\xB7  ";
    if (!running_) return s + "not running";
    s += std::to_string(connected_);
    s += connected_ == 1 ? " surface connected" : " surfaces connected";
    return s;
}

std::string LinkWindowModel::addressText() const {
    if (!running_) return {};
    if (addresses_.empty()) return kNoAddress;
    std::string text;
    bool usable = false;
    for (const std::string& a : addresses_) {
        if (!text.empty()) text += "\r\n";
        text += "http://" + a + ":" + std::to_string(port_);
        usable = usable || isUsableAddress(a);
    }
    if (!usable) text += kLinkLocalWarning;
    return text;
}

std::string LinkWindowModel::wrongCodeLine() const {
    if (wrongCodes_ <= 0) return {};
    return std::to_string(wrongCodes_) + (wrongCodes_ == 1
                                              ? " connection refused for a wrong code"
                                              : " connections refused for a wrong code");
}

QrLayout LinkWindowModel::qrLayout(int width, int height, int qrSize) {
    QrLayout l;
    const int smaller = std::min(width, height);
    if (qrSize > 0) l.moduleSize = std::max(1, (smaller - 16) / (qrSize + 2 * l.quietZone));
    l.side = l.moduleSize * (qrSize + 2 * l.quietZone);
    return l;
}

} // namespace vyn
