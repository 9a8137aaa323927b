#pragma once
// RFC 6455 framing: the incremental reader for what a client sends (frames may arrive split or
// several per read; fragments are joined; control frames are delivered at once, also between
// fragments) and the writer for what the server sends (FIN set, never masked).
//
// Threading: one reader per connection, used by the server thread only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

namespace ws_opcode {
inline constexpr std::uint8_t CONTINUATION = 0;
inline constexpr std::uint8_t TEXT = 1;
inline constexpr std::uint8_t BINARY = 2;
inline constexpr std::uint8_t CLOSE = 8;
inline constexpr std::uint8_t PING = 9;
inline constexpr std::uint8_t PONG = 10;
} // namespace ws_opcode

struct WebSocketMessage {
    std::uint8_t opcode = 0;
    std::string payload;
};

struct WebSocketLimits {
    std::size_t receiveBuffer = 2097152;
    std::size_t framePayload = 1048576;
    std::size_t messagePayload = 1048576;
};

class WebSocketReader {
public:
    explicit WebSocketReader(WebSocketLimits limits = {}) : limits_(limits) {}

    // Appends the bytes and moves every complete message to `out`. False on a protocol error (see
    // error()); the connection must then be closed and the reader is not used again.
    bool feed(const void* data, std::size_t size, std::vector<WebSocketMessage>& out);
    const std::string& error() const { return error_; }
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    bool fail(const char* text);

    WebSocketLimits limits_;
    std::string buffer_;
    std::size_t start_ = 0; // consumed bytes at the front of buffer_
    bool inMessage_ = false;
    std::uint8_t messageOpcode_ = 0;
    std::string message_;
    std::string error_;
};

// Appends one server frame (FIN, opcode, unmasked payload).
void appendWebSocketFrame(std::string& out, std::uint8_t opcode, std::string_view payload);
std::string webSocketFrame(std::uint8_t opcode, std::string_view payload);
// The header alone, for a payload of `size` bytes that the caller appends itself.
void appendWebSocketHeader(std::string& out, std::uint8_t opcode, std::uint64_t size);

} // namespace vyn
