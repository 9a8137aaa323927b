#include "common/LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vyn::test {

LoopbackSocket connectLoopback(int port, int receiveBuffer) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(LoopbackSocket s, const std::string& bytes) {
    return ::send(static_cast<int>(s), bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

int receiveSome(LoopbackSocket s, std::string& into, int timeoutMs) {
    pollfd p{static_cast<int>(s), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return 0;
    char buf[65536];
    const ssize_t n = ::recv(static_cast<int>(s), buf, sizeof buf, 0);
    if (n <= 0) return -1;
    into.append(buf, static_cast<std::size_t>(n));
    return static_cast<int>(n);
}

void closeLoopback(LoopbackSocket s) {
    if (s >= 0) ::close(static_cast<int>(s));
}

} // namespace vyn::test
