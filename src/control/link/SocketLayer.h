#pragma once
// The few socket operations the Link server needs, behind a layer that a Winsock backend fills on
// Windows. Every socket is IPv4 TCP. No function here throws or raises SIGPIPE; failures come back
// as statuses.
//
// Threading: the functions are free of shared state except initialise(), which may be called from
// any thread (once per process is enough; later calls do nothing).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn::net {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

enum class IoStatus { Ok, WouldBlock, Closed, Error };

struct IoResult {
    IoStatus status = IoStatus::Error;
    std::size_t bytes = 0;
};

enum class AcceptStatus { Accepted, NoneWaiting, OutOfDescriptors, Error };

struct AcceptResult {
    AcceptStatus status = AcceptStatus::Error;
    SocketHandle socket = kInvalidSocket;
    std::uint32_t peerAddress = 0; // IPv4, host byte order
};

struct ListenResult {
    SocketHandle socket = kInvalidSocket;
    std::uint16_t port = 0; // the port actually bound
};

struct PollEntry {
    SocketHandle socket = kInvalidSocket;
    bool wantRead = false;
    bool wantWrite = false;
    bool readable = false; // out: readable, or hung up / failed (a read will tell which)
    bool writable = false; // out
};

// Starts the platform's socket library (Winsock 2.2); true on POSIX.
bool initialise();

// A non-blocking listening socket on all local IPv4 addresses (or loopback only), with
// SO_REUSEADDR, the given backlog; port 0 picks a free port. Invalid socket on failure.
ListenResult listenTcp(std::uint16_t port, int backlog, bool loopbackOnly = false);

AcceptResult acceptConnection(SocketHandle listener);
bool setNonBlocking(SocketHandle s);
bool setNoDelay(SocketHandle s);
// Caps the kernel's send buffer (used by tests that need back-pressure quickly).
bool setSendBuffer(SocketHandle s, int bytes);

IoResult receive(SocketHandle s, void* buffer, std::size_t size);
IoResult sendSome(SocketHandle s, const void* data, std::size_t size);
// Sends the peer an end of stream while still reading what it has in flight.
void shutdownSend(SocketHandle s);
void closeSocket(SocketHandle s);

// Waits up to timeoutMs for the requested readiness; returns the number of ready entries, 0 on
// timeout, -1 on failure (an interrupted wait counts as a timeout).
int pollSockets(std::vector<PollEntry>& entries, int timeoutMs);

// "a.b.c.d" of an IPv4 address in host byte order.
std::string formatAddress(std::uint32_t address);

// One IPv4 unicast address of a network interface, as the platform lists it.
struct InterfaceAddress {
    std::uint32_t address = 0; // host byte order
    bool up = false;
    bool loopback = false;
};

// The addresses of the interfaces that are up and not loopback, formatted "a.b.c.d", without
// duplicates, sorted as text (portable: InterfaceAddresses.cpp).
std::vector<std::string> usableInterfaceAddresses(const std::vector<InterfaceAddress>& listed);

// usableInterfaceAddresses() of this machine's interfaces.
std::vector<std::string> localIPv4Addresses();

} // namespace vyn::net
