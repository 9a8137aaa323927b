// What every platform's sender shares: the destination check around the platform's socket.

#include "control/osc/OscSender.h"

namespace vyn {

OscSender::~OscSender() {
    close();
}

bool OscSender::open(std::string_view host, int port) {
    close();
    lastError_.clear();
    dropped_ = 0;
    if (host.empty()) {
        lastError_ = "Host is empty.";
        return false;
    }
    if (port < 1 || port > 65535) {
        lastError_ = "Port is out of range.";
        return false;
    }
    std::uint32_t address = 0;
    if (host == "localhost")
        address = 0x7F000001u;
    else if (!parseIPv4(host, address)) {
        lastError_ = "Host must be an IPv4 address.";
        return false;
    }
    if (!openSocket()) return false;
    address_ = address;
    port_ = static_cast<std::uint16_t>(port);
    return true;
}

bool OscSender::parseIPv4(std::string_view text, std::uint32_t& out) {
    std::uint32_t address = 0;
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        std::uint32_t part = 0;
        int digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            part = part * 10 + static_cast<std::uint32_t>(text[i] - '0');
            if (++digits > 3 || part > 255) return false;
            ++i;
        }
        address = (address << 8) | part;
        if (++parts < 4) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
    }
    if (i != text.size()) return false;
    out = address;
    return true;
}

} // namespace vyn
