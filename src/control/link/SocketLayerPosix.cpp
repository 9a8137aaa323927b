// POSIX sockets for the Link server (Linux: poll, MSG_NOSIGNAL, getifaddrs).

#include "control/link/SocketLayer.h"

#include <cerrno>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vyn::net {
namespace {

int fd(SocketHandle s) {
    return static_cast<int>(s);
}

} // namespace

bool initialise() {
    return true;
}

ListenResult listenTcp(std::uint16_t port, int backlog, bool loopbackOnly) {
    ListenResult result;
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return result;
    const int one = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    socklen_t length = sizeof address;
    if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, backlog) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        !setNonBlocking(s)) {
        ::close(s);
        return result;
    }
    result.socket = s;
    result.port = ntohs(address.sin_port);
    return result;
}

AcceptResult acceptConnection(SocketHandle listener) {
    AcceptResult result;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int s =
        ::accept4(fd(listener), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (s < 0) {
        switch (errno) {
        case EAGAIN:
#if EAGAIN != EWOULDBLOCK
        case EWOULDBLOCK:
#endif
        case EINTR:
        case ECONNABORTED: // the peer gave up while waiting; the next one may be fine
            result.status = AcceptStatus::NoneWaiting;
            break;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            result.status = AcceptStatus::OutOfDescriptors;
            break;
        default:
            result.status = AcceptStatus::Error;
        }
        return result;
    }
    result.status = AcceptStatus::Accepted;
    result.socket = s;
    result.peerAddress = peer.sin_family == AF_INET ? ntohl(peer.sin_addr.s_addr) : 0;
    return result;
}

bool setNonBlocking(SocketHandle s) {
    const int flags = ::fcntl(fd(s), F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd(s), F_SETFL, flags | O_NONBLOCK) == 0;
}

bool setNoDelay(SocketHandle s) {
    const int one = 1;
    return ::setsockopt(fd(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

bool setSendBuffer(SocketHandle s, int bytes) {
    return ::setsockopt(fd(s), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

IoResult receive(SocketHandle s, void* buffer, std::size_t size) {
    const ssize_t n = ::recv(fd(s), buffer, size, 0);
    if (n > 0) return {IoStatus::Ok, static_cast<std::size_t>(n)};
    if (n == 0) return {IoStatus::Closed, 0};
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {IoStatus::WouldBlock, 0};
    return {IoStatus::Error, 0};
}

IoResult sendSome(SocketHandle s, const void* data, std::size_t size) {
    const ssize_t n = ::send(fd(s), data, size, MSG_NOSIGNAL);
    if (n >= 0) return {IoStatus::Ok, static_cast<std::size_t>(n)};
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {IoStatus::WouldBlock, 0};
    return {IoStatus::Error, 0};
}

void shutdownSend(SocketHandle s) {
    if (s != kInvalidSocket) ::shutdown(fd(s), SHUT_WR);
}

void closeSocket(SocketHandle s) {
    if (s != kInvalidSocket) ::close(fd(s));
}

int pollSockets(std::vector<PollEntry>& entries, int timeoutMs) {
    std::vector<pollfd> fds(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        fds[i].fd = fd(entries[i].socket);
        fds[i].events = static_cast<short>((entries[i].wantRead ? POLLIN : 0) |
                                           (entries[i].wantWrite ? POLLOUT : 0));
        fds[i].revents = 0;
    }
    const int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n < 0) return errno == EINTR ? 0 : -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const short r = fds[i].revents;
        entries[i].readable = (r & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
        entries[i].writable = (r & POLLOUT) != 0;
    }
    return n;
}

std::vector<std::string> localIPv4Addresses() {
    std::vector<InterfaceAddress> listed;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        InterfaceAddress entry;
        entry.address = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
        entry.up = (i->ifa_flags & IFF_UP) != 0;
        entry.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
        listed.push_back(entry);
    }
    ::freeifaddrs(list);
    return usableInterfaceAddresses(listed);
}

} // namespace vyn::net
