#pragma once
// Sends OSC datagrams to one IPv4 address and port over a non-blocking UDP socket. Nothing is
// received. When the socket's send buffer is full the datagram is dropped, which is counted, not
// treated as an error: a flooded receiver shows as a growing dropped count.
//
// Threading: one thread (the user-interface thread).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vyn {

enum class OscSendResult { Sent, Dropped, Failed };

class OscSender {
public:
    OscSender() = default;
    ~OscSender();
    OscSender(const OscSender&) = delete;
    OscSender& operator=(const OscSender&) = delete;

    // Closes a previous socket, validates the destination ("localhost" reads as 127.0.0.1;
    // anything else must be a dotted IPv4 address) and opens a non-blocking UDP socket. On failure
    // the sender stays closed and lastError() says why.
    bool open(std::string_view host, int port);
    void close();
    bool isOpen() const { return socket_ >= 0; }

    // One datagram. Dropped: the send buffer was full (or the call was interrupted). Failed:
    // any other error, which also sets "OSC send failed.".
    OscSendResult send(const std::uint8_t* data, std::size_t size);

    const std::string& lastError() const { return lastError_; }
    std::uint64_t droppedDatagrams() const { return dropped_; }

    // Parses a dotted IPv4 address (four decimal parts 0-255, nothing else) into host byte order.
    static bool parseIPv4(std::string_view text, std::uint32_t& out);

private:
    // The platform's part of open(): a non-blocking UDP socket in socket_, or lastError_ set.
    bool openSocket();

    int socket_ = -1;
    std::uint32_t address_ = 0; // host byte order
    std::uint16_t port_ = 0;
    std::string lastError_;
    std::uint64_t dropped_ = 0;
};

} // namespace vyn
