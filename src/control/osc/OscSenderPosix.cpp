#include "control/osc/OscSender.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vyn {

bool OscSender::openSocket() {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        lastError_ = "Could not create a UDP socket.";
        return false;
    }
    const int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) {
        ::close(s);
        lastError_ = "Could not set the socket non-blocking.";
        return false;
    }
    socket_ = s;
    return true;
}

void OscSender::close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

OscSendResult OscSender::send(const std::uint8_t* data, std::size_t size) {
    if (socket_ < 0 || !data || size == 0) return OscSendResult::Failed;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port_);
    to.sin_addr.s_addr = htonl(address_);
    const ssize_t n =
        ::sendto(socket_, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n == static_cast<ssize_t>(size)) return OscSendResult::Sent;
    if (n < 0 && (errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR)) {
        ++dropped_;
        return OscSendResult::Dropped;
    }
    lastError_ = "OSC send failed.";
    return OscSendResult::Failed;
}

} // namespace vyn
