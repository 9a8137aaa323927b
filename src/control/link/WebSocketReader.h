#pragma once
// RFC 6455 framing: the incremental reader for what a client sends (frames may arrive split or
// several per read; fragments are joined; control frames are delivered at once, also between
// fragments) and the writer for what the server sends (FIN set, never masked).
//
// The reader holds a client to the RFC: frames must be masked, reserved bits and opcodes unused,
// text valid UTF-8 (checked fragment by fragment, so a bad message fails before it ends) and a
// close frame's status code and reason well-formed. Each failure names the close code the server
// answers with.
//
// Threading: one reader per connection, used by the server thread only.

#include "support/Utf8.h"

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

// Status codes of a close frame.
namespace ws_close {
inline constexpr std::uint16_t NORMAL = 1000;
inline constexpr std::uint16_t PROTOCOL_ERROR = 1002;
inline constexpr std::uint16_t INVALID_DATA = 1007;
inline constexpr std::uint16_t TOO_BIG = 1009;
} // namespace ws_close

// Codes a peer may send: the registered ones that are meant for the wire, and 3000-4999.
bool isValidCloseCode(std::uint32_t code);

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
    // error() and closeCode()); the connection must then be closed and the reader is not used
    // again. A delivered close message has an empty payload or a valid code and UTF-8 reason.
    bool feed(const void* data, std::size_t size, std::vector<WebSocketMessage>& out);
    const std::string& error() const { return error_; }
    // The status code to close with after an error (0 before one).
    std::uint16_t closeCode() const { return closeCode_; }
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    bool fail(const char* text, std::uint16_t closeCode);
    bool checkClose(const std::string& payload);

    WebSocketLimits limits_;
    std::string buffer_;
    std::size_t start_ = 0; // consumed bytes at the front of buffer_
    bool inMessage_ = false;
    std::uint8_t messageOpcode_ = 0;
    std::string message_;
    utf8::StreamValidator text_; // the text message in progress
    std::string error_;
    std::uint16_t closeCode_ = 0;
};

// Appends one server frame (FIN, opcode, unmasked payload).
void appendWebSocketFrame(std::string& out, std::uint8_t opcode, std::string_view payload);
std::string webSocketFrame(std::uint8_t opcode, std::string_view payload);
// The header alone, for a payload of `size` bytes that the caller appends itself.
void appendWebSocketHeader(std::string& out, std::uint8_t opcode, std::uint64_t size);
// A close frame with a status code (0: no payload).
std::string webSocketCloseFrame(std::uint16_t code);

} // namespace vyn
