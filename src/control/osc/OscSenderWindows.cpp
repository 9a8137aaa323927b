#include "control/osc/OscSender.h"

#include <winsock2.h>

namespace vyn {

bool OscSender::openSocket() {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        lastError_ = "Could not create a UDP socket.";
        return false;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        WSACleanup();
        lastError_ = "Could not create a UDP socket.";
        return false;
    }
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        WSACleanup();
        lastError_ = "Could not set the socket non-blocking.";
        return false;
    }
    // Socket handles are small kernel handle values: they fit the int the header keeps.
    socket_ = static_cast<int>(s);
    return true;
}

void OscSender::close() {
    if (socket_ >= 0) {
        ::closesocket(static_cast<SOCKET>(socket_));
        WSACleanup();
    }
    socket_ = -1;
}

OscSendResult OscSender::send(const std::uint8_t* data, std::size_t size) {
    if (socket_ < 0 || !data || size == 0) return OscSendResult::Failed;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port_);
    to.sin_addr.s_addr = htonl(address_);
    const int n = ::sendto(static_cast<SOCKET>(socket_), reinterpret_cast<const char*>(data),
                           static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n == static_cast<int>(size)) return OscSendResult::Sent;
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
        ++dropped_;
        return OscSendResult::Dropped;
    }
    lastError_ = "OSC send failed.";
    return OscSendResult::Failed;
}

} // namespace vyn
