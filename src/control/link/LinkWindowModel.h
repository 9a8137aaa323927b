#pragma once
// Everything the Link tool window shows, computed here so that the window only draws it: the
// pairing code, the addresses, the pairing link and its QR modules, the status and counters, and
// what the buttons do.
//
// Threading: user-interface thread only.

#include "control/link/PairingQr.h"

#include <string>
#include <vector>

namespace vyn {

class LinkHost;

struct QrLayout {
    int moduleSize = 1; // pixels per module
    int quietZone = 4;  // modules of white around the code
    int side = 0;       // pixels of the white square, quiet zone included
    float cornerRadius = 12.0f;
};

class LinkWindowModel {
public:
    static constexpr int kPort = 17999;
    static constexpr const char* kTitle = "Link";
    static constexpr const char* kIntro =
        "Starts a small web server on this device. A phone, tablet or laptop on the same network "
        "can open it and drive the decks. Everything stays on the local network.";
    static constexpr const char* kCodeLabel = "pairing code";
    static constexpr const char* kNewCode = "New code";
    static constexpr const char* kStart = "Start link";
    static constexpr const char* kStop = "Stop link";
    static constexpr const char* kHint =
        "Scan with the VYN app on the phone (Library \xE2\x86\x92 Scan QR, or Link \xE2\x86\x92 "
        "Scan host QR). Camera opens VYN too if it is installed. A laptop can open one of the "
        "addresses in a browser and type the code.";
    static constexpr const char* kNoAddress =
        "No network address. Join a Wi-Fi network, or turn on a hotspot and connect the other "
        "device to it.";
    static constexpr const char* kLinkLocalWarning =
        "\r\n\r\nNothing here is reachable from a phone \xE2\x80\x94 169.254 link-local addresses "
        "are not routed. Join a Wi-Fi network, or turn on a hotspot and connect the phone to it.";
    static constexpr const char* kAudioNotRunning = "Audio is not running.";
    static constexpr const char* kPortFailed = "Could not open port 17999.";

    LinkWindowModel();

    // The pairing code: "0000" until the first code is drawn.
    const std::string& code() const { return code_; }
    void drawCode();
    void setCode(std::string code);

    void setPort(int port);
    int port() const { return port_; }
    void setAddresses(std::vector<std::string> addresses);
    const std::vector<std::string>& addresses() const { return addresses_; }

    // Button actions. Start needs the audio engine; a new code restarts a running server.
    void startLink(LinkHost& host, bool audioRunning);
    void stopLink(LinkHost& host);
    void newCode(LinkHost& host);
    // Reads the server's counters (once per refresh).
    void refresh(const LinkHost& host);
    // For tests and views without a host.
    void setServerState(bool running, int connected, int wrongCodes);

    bool running() const { return running_; }
    const char* startStopLabel() const { return running_ ? kStop : kStart; }
    const std::string& message() const { return message_; }
    std::string statusLine() const;
    std::string addressText() const;   // empty while stopped
    std::string wrongCodeLine() const; // empty when there was no wrong code
    const std::string& pairingLink() const { return link_; }
    const QrModules& qr() const { return qr_; }
    // Fits the QR code (with its quiet zone) into a width x height area.
    static QrLayout qrLayout(int width, int height, int qrSize);

private:
    void relink();

    std::string code_ = "0000";
    int port_ = kPort;
    std::vector<std::string> addresses_;
    bool running_ = false;
    int connected_ = 0;
    int wrongCodes_ = 0;
    std::string message_;
    std::string link_;
    QrModules qr_;
};

} // namespace vyn
