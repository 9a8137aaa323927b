#pragma once
// A plain TCP client on the loopback interface, for tests that send what real clients never
// send. One implementation per platform (LoopbackSocketPosix.cpp, LoopbackSocketWinsock.cpp).

#include <cstdint>
#include <string>

namespace vyn::test {

using LoopbackSocket = std::intptr_t;

// A connected socket, or -1. `receiveBuffer` > 0 caps the socket's receive buffer.
LoopbackSocket connectLoopback(int port, int receiveBuffer = 0);
bool sendAll(LoopbackSocket s, const std::string& bytes);
// Waits up to `timeoutMs` for bytes and appends what arrives to `into`. Returns the count, 0 when
// nothing came in time, -1 when the peer closed or the socket failed.
int receiveSome(LoopbackSocket s, std::string& into, int timeoutMs);
void closeLoopback(LoopbackSocket s);

} // namespace vyn::test
