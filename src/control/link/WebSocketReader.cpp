#include "control/link/WebSocketReader.h"

namespace vyn {

bool WebSocketReader::fail(const char* text) {
    error_ = text;
    buffer_.clear();
    start_ = 0;
    return false;
}

bool WebSocketReader::feed(const void* data, std::size_t size, std::vector<WebSocketMessage>& out) {
    if (!error_.empty()) return false;
    if (buffered() + size > limits_.receiveBuffer) return fail("receive buffer overflowed");
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
        if ((p[0] & 0x70) != 0) return fail("reserved bits set without a negotiated extension");
        const bool masked = (p[1] & 0x80) != 0;
        std::uint64_t length = p[1] & 0x7F;
        std::size_t header = 2;
        if (length == 126) {
            header = 4;
            if (available < header) break;
            length = (std::uint64_t(p[2]) << 8) | p[3];
        } else if (length == 127) {
            header = 10;
            if (available < header) break;
            length = 0;
            for (int i = 0; i < 8; ++i)
                length = (length << 8) | p[2 + i];
        }
        if (length > limits_.framePayload) return fail("frame larger than the message limit");
        const bool control = (opcode & 0x08) != 0;
        if (control && (length > 125 || !fin)) return fail("malformed control frame");
        const std::size_t keyAt = header;
        if (masked) header += 4;
        if (available < header + length) break;

        std::string payload(reinterpret_cast<const char*>(p + header),
                            static_cast<std::size_t>(length));
        if (masked) {
            const std::uint8_t* key = p + keyAt;
            for (std::size_t i = 0; i < payload.size(); ++i)
                payload[i] = static_cast<char>(static_cast<std::uint8_t>(payload[i]) ^ key[i & 3]);
        }
        start_ += header + static_cast<std::size_t>(length);

        if (control) {
            out.push_back({opcode, std::move(payload)});
            continue;
        }
        if (opcode != ws_opcode::CONTINUATION) {
            if (inMessage_) return fail("new message started before the previous one finished");
            inMessage_ = true;
            messageOpcode_ = opcode;
            message_ = std::move(payload);
        } else {
            if (!inMessage_) return fail("continuation frame with nothing to continue");
            if (message_.size() + payload.size() > limits_.messagePayload)
                return fail("fragmented message exceeded the limit");
            message_ += payload;
        }
        if (fin) {
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

} // namespace vyn
