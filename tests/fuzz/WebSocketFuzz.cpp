// The WebSocket frame reader on any bytes a client sends, fed in pieces: what it delivers obeys
// RFC 6455 (text is valid UTF-8, control payloads fit 125 bytes, a close carries nothing or a
// valid code and UTF-8 reason, nothing exceeds the message limit), an error names a close code,
// and where the stream is cut makes no difference.

#include "FuzzTarget.h"
#include "control/link/WebSocketReader.h"
#include "support/Utf8.h"

#include <algorithm>

namespace {

struct Outcome {
    std::vector<vyn::WebSocketMessage> messages;
    bool ok = true;
    std::string error;
};

Outcome feedInPieces(const std::uint8_t* data, std::size_t size, std::size_t piece) {
    Outcome o;
    vyn::WebSocketReader reader;
    for (std::size_t at = 0; at < size && o.ok; at += piece)
        o.ok = reader.feed(data + at, std::min(piece, size - at), o.messages);
    if (!o.ok) {
        o.error = reader.error();
        vyn::fuzz::require(!o.error.empty() &&
                               (reader.closeCode() == 1002 || reader.closeCode() == 1007 ||
                                reader.closeCode() == 1009),
                           "an error names its cause and close code");
    }
    return o;
}

} // namespace

VYN_FUZZ_TARGET(websocket) {
    if (size == 0) return;
    const std::size_t piece = 1 + data[0] % 64;
    ++data;
    --size;
    // As the server reads: 4096 bytes at a time.
    const Outcome whole = feedInPieces(data, size, 4096);
    for (const vyn::WebSocketMessage& m : whole.messages) {
        vyn::fuzz::require(m.payload.size() <= 1048576, "messages stay within the limit");
        if (m.opcode == vyn::ws_opcode::TEXT)
            vyn::fuzz::require(vyn::utf8::isValid(m.payload), "text is valid UTF-8");
        if (m.opcode >= vyn::ws_opcode::CLOSE)
            vyn::fuzz::require(m.payload.size() <= 125, "control payloads fit 125 bytes");
        if (m.opcode == vyn::ws_opcode::CLOSE && !m.payload.empty()) {
            vyn::fuzz::require(m.payload.size() >= 2, "a close carries a whole code");
            const auto code =
                static_cast<std::uint32_t>((static_cast<std::uint8_t>(m.payload[0]) << 8) |
                                           static_cast<std::uint8_t>(m.payload[1]));
            vyn::fuzz::require(vyn::isValidCloseCode(code) &&
                                   vyn::utf8::isValid(m.payload.substr(2)),
                               "a close carries a valid code and reason");
        }
        vyn::fuzz::require(m.opcode == vyn::ws_opcode::TEXT || m.opcode == vyn::ws_opcode::BINARY ||
                               m.opcode >= vyn::ws_opcode::CLOSE,
                           "only known opcodes are delivered");
    }
    const Outcome cut = feedInPieces(data, size, piece);
    vyn::fuzz::require(cut.ok == whole.ok && cut.error == whole.error,
                       "where the stream is cut makes no difference to its fate");
    if (whole.ok)
        vyn::fuzz::require(cut.messages.size() == whole.messages.size(),
                           "where the stream is cut makes no difference to its messages");
}
