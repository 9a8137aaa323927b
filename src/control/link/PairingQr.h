#pragma once
// The QR code of the pairing link: text mode at error-correction level medium exactly (the
// encoder's convenience call would silently raise the level when there is room).

#include <cstdint>
#include <string_view>
#include <vector>

namespace vyn {

struct QrModules {
    int size = 0;                   // modules per side; 0 = no code
    std::vector<std::uint8_t> dark; // size * size, row by row, 1 = dark

    bool empty() const { return size == 0; }
    bool at(int x, int y) const {
        return x >= 0 && y >= 0 && x < size && y < size &&
               dark[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                    static_cast<std::size_t>(x)] != 0;
    }
};

// Empty for empty text or when the text does not fit a QR code.
QrModules encodePairingQr(std::string_view text);

} // namespace vyn
