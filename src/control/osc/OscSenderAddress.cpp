// The destination check shared by every platform's sender.

#include "control/osc/OscSender.h"

namespace vyn {

bool OscSender::parseIPv4(std::string_view text, std::uint32_t& out) {
    std::uint32_t address = 0;
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        std::uint32_t part = 0;
        int digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            part = part * 10 + static_cast<std::uint32_t>(text[i] - '0');
            if (++digits > 3 || part > 255) return false;
            ++i;
        }
        address = (address << 8) | part;
        if (++parts < 4) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
    }
    if (i != text.size()) return false;
    out = address;
    return true;
}

} // namespace vyn
