#include "control/link/WebSocketReader.h"

namespace vyn {

bool isValidCloseCode(std::uint32_t code) {
    // 1004 is reserved, 1005 and 1006 only report a close without a code, 1015 a failed TLS
    // handshake: none of them may appear in a frame.
    if (code >= 1000 && code <= 1003) return true;
    if (code >= 1007 && code <= 1014) return true;
    return code >= 3000 && code <= 4999;
}

bool WebSocketReader::fail(const char* text, std::uint16_t closeCode) {
    error_ = text;
    closeCode_ = closeCode;
    buffer_.clear();
    start_ = 0;
    return false;
}

bool WebSocketReader::checkClose(const std::string& payload) {
    if (payload.empty()) return true;
    if (payload.size() == 1)
        return fail("close frame with a one-byte payload", ws_close::PROTOCOL_ERROR);
    const std::uint32_t code = (std::uint32_t(static_cast<std::uint8_t>(payload[0])) << 8) |
                               static_cast<std::uint8_t>(payload[1]);
    if (!isValidCloseCode(code))
        return fail("close frame with an invalid status code", ws_close::PROTOCOL_ERROR);
    if (!utf8::isValid(std::string_view(payload).substr(2)))
        return fail("close reason is not valid UTF-8", ws_close::INVALID_DATA);
    return true;
}

bool WebSocketReader::feed(const void* data, std::size_t size, std::vector<WebSocketMessage>& out) {
    if (!error_.empty()) return false;
    if (buffered() + size > limits_.receiveBuffer)
        return fail("receive buffer overflowed", ws_close::TOO_BIG);
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(static_cast<const char*>(data), size);

    while (buffered() >= 2) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(buffer_.data() + start_);
        const std::size_t available = buffered();
        const bool fin = (p[0] & 0x80) != 0;
        const std::uint8_t opcode = p[0] & 0x0F;
        if ((p[0] & 0x70) != 0)
            return fail("reserved bits set without a negotiated extension",
                        ws_close::PROTOCOL_ERROR);
        if ((opcode > ws_opcode::BINARY && opcode < ws_opcode::CLOSE) || opcode > ws_opcode::PONG)
            return fail("reserved opcode", ws_close::PROTOCOL_ERROR);
        // A client masks every frame, so that a page cannot make the stream look like anything
        // a proxy on the way would act on.
        if ((p[1] & 0x80) == 0) return fail("client frame not masked", ws_close::PROTOCOL_ERROR);
        std::uint64_t length = p[1] & 0x7F;
        std::size_t header = 2;
        if (length == 126) {
            header = 4;
            if (available < header) break;
            length = (std::uint64_t(p[2]) << 8) | p[3];
        } else if (length == 127) {
            header = 10;
            if (available < header) break;
            if (p[2] & 0x80)
                return fail("payload length with the top bit set", ws_close::PROTOCOL_ERROR);
            length = 0;
            for (int i = 0; i < 8; ++i)
                length = (length << 8) | p[2 + i];
        }
        const bool control = (opcode & 0x08) != 0;
        if (control && (length > 125 || !fin))
            return fail("malformed control frame", ws_close::PROTOCOL_ERROR);
        if (length > limits_.framePayload)
            return fail("frame larger than the message limit", ws_close::TOO_BIG);
        const std::size_t keyAt = header;
        header += 4;
        if (available < header + length) break;

        std::string payload(reinterpret_cast<const char*>(p + header),
                            static_cast<std::size_t>(length));
        const std::uint8_t* key = p + keyAt;
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char>(static_cast<std::uint8_t>(payload[i]) ^ key[i & 3]);
        start_ += header + static_cast<std::size_t>(length);

        if (control) {
            if (opcode == ws_opcode::CLOSE && !checkClose(payload)) return false;
            out.push_back({opcode, std::move(payload)});
            continue;
        }
        if (opcode != ws_opcode::CONTINUATION) {
            if (inMessage_)
                return fail("new message started before the previous one finished",
                            ws_close::PROTOCOL_ERROR);
            inMessage_ = true;
            messageOpcode_ = opcode;
            message_ = std::move(payload);
            text_.reset();
            if (opcode == ws_opcode::TEXT && !text_.feed(message_))
                return fail("text message is not valid UTF-8", ws_close::INVALID_DATA);
        } else {
            if (!inMessage_)
                return fail("continuation frame with nothing to continue",
                            ws_close::PROTOCOL_ERROR);
            if (message_.size() + payload.size() > limits_.messagePayload)
                return fail("fragmented message exceeded the limit", ws_close::TOO_BIG);
            if (messageOpcode_ == ws_opcode::TEXT && !text_.feed(payload))
                return fail("text message is not valid UTF-8", ws_close::INVALID_DATA);
            message_ += payload;
        }
        if (fin) {
            if (messageOpcode_ == ws_opcode::TEXT && !text_.complete())
                return fail("text message is not valid UTF-8", ws_close::INVALID_DATA);
            out.push_back({messageOpcode_, std::move(message_)});
            message_.clear();
            inMessage_ = false;
        }
    }
    return true;
}

void appendWebSocketHeader(std::string& out, std::uint8_t opcode, std::uint64_t size) {
    out += static_cast<char>(0x80 | (opcode & 0x0F));
    if (size < 126) {
        out += static_cast<char>(size);
    } else if (size <= 65535) {
        out += static_cast<char>(126);
        out += static_cast<char>((size >> 8) & 0xFF);
        out += static_cast<char>(size & 0xFF);
    } else {
        out += static_cast<char>(127);
        for (int i = 7; i >= 0; --i)
            out += static_cast<char>((size >> (8 * i)) & 0xFF);
    }
}

void appendWebSocketFrame(std::string& out, std::uint8_t opcode, std::string_view payload) {
    appendWebSocketHeader(out, opcode, payload.size());
    out += payload;
}

std::string webSocketFrame(std::uint8_t opcode, std::string_view payload) {
    std::string out;
    out.reserve(payload.size() + 10);
    appendWebSocketFrame(out, opcode, payload);
    return out;
}

std::string webSocketCloseFrame(std::uint16_t code) {
    if (code == 0) return webSocketFrame(ws_opcode::CLOSE, {});
    const char payload[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    return webSocketFrame(ws_opcode::CLOSE, std::string_view(payload, 2));
}

} // namespace vyn
