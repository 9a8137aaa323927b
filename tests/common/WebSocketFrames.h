#pragma once
// WebSocket frames as a test peer sees them: client frames to send (masked unless asked not to)
// and the server's frames walked out of a received byte stream.

#include <cstdint>
#include <string>
#include <vector>

namespace vyn::test {

// A client frame of RFC 6455, with a fixed mask key unless `mask` is false; `rsv` sets reserved
// bits (0x70).
inline std::string clientFrame(std::uint8_t opcode, const std::string& payload, bool fin = true,
                               bool mask = true, std::uint8_t rsv = 0) {
    std::string f;
    f += static_cast<char>((fin ? 0x80 : 0) | rsv | opcode);
    const std::uint8_t m = mask ? 0x80 : 0;
    const std::uint64_t n = payload.size();
    if (n < 126) {
        f += static_cast<char>(m | n);
    } else if (n <= 65535) {
        f += static_cast<char>(m | 126);
        f += static_cast<char>(n >> 8);
        f += static_cast<char>(n & 255);
    } else {
        f += static_cast<char>(m | 127);
        for (int i = 7; i >= 0; --i)
            f += static_cast<char>((n >> (8 * i)) & 255);
    }
    const char key[4] = {'\x0f', '\x5a', '\x33', '\x71'};
    if (mask) f.append(key, 4);
    for (std::size_t i = 0; i < payload.size(); ++i)
        f += mask ? static_cast<char>(payload[i] ^ key[i & 3]) : payload[i];
    return f;
}

struct ServerFrame {
    std::uint8_t opcode = 0;
    std::string payload;
};

// The whole unmasked frames in `bytes` after the HTTP response (its blank line), in order; a frame
// cut short at the end is left out.
inline std::vector<ServerFrame> serverFrames(const std::string& bytes) {
    std::vector<ServerFrame> out;
    std::size_t pos = bytes.find("\r\n\r\n");
    pos = pos == std::string::npos ? 0 : pos + 4;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    while (pos + 2 <= bytes.size()) {
        std::uint64_t n = byte(pos + 1) & 0x7F;
        std::size_t header = 2;
        if (n >= 126) {
            header = n == 126 ? 4 : 10;
            if (pos + header > bytes.size()) break;
            n = 0;
            for (std::size_t i = 2; i < header; ++i)
                n = (n << 8) | byte(pos + i);
        }
        if (pos + header + n > bytes.size()) break;
        out.push_back({static_cast<std::uint8_t>(byte(pos) & 0x0F),
                       bytes.substr(pos + header, static_cast<std::size_t>(n))});
        pos += header + static_cast<std::size_t>(n);
    }
    return out;
}

// The payloads of the text frames among them.
inline std::vector<std::string> serverTexts(const std::string& bytes) {
    std::vector<std::string> out;
    for (const ServerFrame& f : serverFrames(bytes))
        if (f.opcode == 1) out.push_back(f.payload);
    return out;
}

} // namespace vyn::test
