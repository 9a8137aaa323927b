// Winsock 2 for the Link server (WSAPoll, ioctlsocket) and IP Helper for the local addresses.
// The listening socket takes its port exclusively: Windows' SO_REUSEADDR would let a second
// server bind a port that is in use, where the POSIX option only allows rebinding while old
// connections linger, which Windows allows anyway.

#include "control/link/SocketLayer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace vyn::net {
namespace {

SOCKET sock(SocketHandle s) {
    return static_cast<SOCKET>(s);
}

bool wouldBlock(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAEINPROGRESS;
}

} // namespace

bool initialise() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data{};
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

ListenResult listenTcp(std::uint16_t port, int backlog, bool loopbackOnly) {
    ListenResult result;
    if (!initialise()) return result;
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return result;
    const BOOL one = TRUE;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    int length = sizeof address;
    if (::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one),
                     sizeof one) != 0 ||
        ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, backlog) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        !setNonBlocking(static_cast<SocketHandle>(s))) {
        ::closesocket(s);
        return result;
    }
    result.socket = static_cast<SocketHandle>(s);
    result.port = ntohs(address.sin_port);
    return result;
}

AcceptResult acceptConnection(SocketHandle listener) {
    AcceptResult result;
    sockaddr_in peer{};
    int length = sizeof peer;
    const SOCKET s = ::accept(sock(listener), reinterpret_cast<sockaddr*>(&peer), &length);
    if (s == INVALID_SOCKET) {
        const int error = WSAGetLastError();
        if (wouldBlock(error) || error == WSAECONNRESET)
            result.status = AcceptStatus::NoneWaiting; // the peer gave up while waiting
        else if (error == WSAEMFILE || error == WSAENOBUFS)
            result.status = AcceptStatus::OutOfDescriptors;
        else
            result.status = AcceptStatus::Error;
        return result;
    }
    // Accepted sockets inherit the listener's non-blocking mode; the server sets it again.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    result.status = AcceptStatus::Accepted;
    result.socket = static_cast<SocketHandle>(s);
    result.peerAddress = peer.sin_family == AF_INET ? ntohl(peer.sin_addr.s_addr) : 0;
    return result;
}

bool setNonBlocking(SocketHandle s) {
    u_long on = 1;
    return ::ioctlsocket(sock(s), FIONBIO, &on) == 0;
}

bool setNoDelay(SocketHandle s) {
    const BOOL one = TRUE;
    return ::setsockopt(sock(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                        sizeof one) == 0;
}

bool setSendBuffer(SocketHandle s, int bytes) {
    return ::setsockopt(sock(s), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes),
                        sizeof bytes) == 0;
}

IoResult receive(SocketHandle s, void* buffer, std::size_t size) {
    const int ask = static_cast<int>(std::min<std::size_t>(size, 0x7FFFFFFF));
    const int n = ::recv(sock(s), static_cast<char*>(buffer), ask, 0);
    if (n > 0) return {IoStatus::Ok, static_cast<std::size_t>(n)};
    if (n == 0) return {IoStatus::Closed, 0};
    if (wouldBlock(WSAGetLastError())) return {IoStatus::WouldBlock, 0};
    return {IoStatus::Error, 0};
}

IoResult sendSome(SocketHandle s, const void* data, std::size_t size) {
    const int ask = static_cast<int>(std::min<std::size_t>(size, 0x7FFFFFFF));
    const int n = ::send(sock(s), static_cast<const char*>(data), ask, 0);
    if (n >= 0) return {IoStatus::Ok, static_cast<std::size_t>(n)};
    if (wouldBlock(WSAGetLastError())) return {IoStatus::WouldBlock, 0};
    return {IoStatus::Error, 0};
}

void shutdownSend(SocketHandle s) {
    if (s != kInvalidSocket) ::shutdown(sock(s), SD_SEND);
}

void closeSocket(SocketHandle s) {
    if (s != kInvalidSocket) ::closesocket(sock(s));
}

int pollSockets(std::vector<PollEntry>& entries, int timeoutMs) {
    if (entries.empty()) {
        Sleep(static_cast<DWORD>(std::max(timeoutMs, 0)));
        return 0;
    }
    std::vector<WSAPOLLFD> fds(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        fds[i].fd = sock(entries[i].socket);
        fds[i].events = static_cast<SHORT>((entries[i].wantRead ? POLLRDNORM : 0) |
                                           (entries[i].wantWrite ? POLLWRNORM : 0));
        fds[i].revents = 0;
    }
    const int n = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
    if (n == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? 0 : -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SHORT r = fds[i].revents;
        entries[i].readable = (r & (POLLRDNORM | POLLHUP | POLLERR | POLLNVAL)) != 0;
        entries[i].writable = (r & POLLWRNORM) != 0;
    }
    return n;
}

std::vector<std::string> localIPv4Addresses() {
    std::vector<std::string> out;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (status != NO_ERROR) return out;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            const sockaddr* sa = u->Address.lpSockaddr;
            if (!sa || sa->sa_family != AF_INET) continue;
            const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
            const std::uint32_t address = ntohl(in->sin_addr.s_addr);
            if ((address >> 24) == 127) continue;
            out.push_back(formatAddress(address));
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

} // namespace vyn::net
