// The portable part of the address listing: which interface addresses a phone could reach.

#include "control/link/SocketLayer.h"

#include <algorithm>
#include <cstdio>

namespace vyn::net {

std::string formatAddress(std::uint32_t a) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (a >> 24) & 255u, (a >> 16) & 255u,
                  (a >> 8) & 255u, a & 255u);
    return text;
}

std::vector<std::string> usableInterfaceAddresses(const std::vector<InterfaceAddress>& listed) {
    std::vector<std::string> out;
    for (const InterfaceAddress& entry : listed)
        if (entry.up && !entry.loopback) out.push_back(formatAddress(entry.address));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

} // namespace vyn::net
