#include "common/LoopbackSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace vyn::test {

LoopbackSocket connectLoopback(int port, int receiveBuffer) {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return -1;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return -1;
    if (receiveBuffer > 0)
        ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                     sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::closesocket(s);
        return -1;
    }
    return static_cast<LoopbackSocket>(s);
}

bool sendAll(LoopbackSocket s, const std::string& bytes) {
    return ::send(static_cast<SOCKET>(s), bytes.data(), static_cast<int>(bytes.size()), 0) ==
           static_cast<int>(bytes.size());
}

int receiveSome(LoopbackSocket s, std::string& into, int timeoutMs) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    if (::WSAPoll(&p, 1, timeoutMs) <= 0) return 0;
    char buf[65536];
    const int n = ::recv(static_cast<SOCKET>(s), buf, sizeof buf, 0);
    if (n <= 0) return -1;
    into.append(buf, static_cast<std::size_t>(n));
    return n;
}

void closeLoopback(LoopbackSocket s) {
    if (s != -1) ::closesocket(static_cast<SOCKET>(s));
}

} // namespace vyn::test
