#pragma once
// A QR module grid written as a PGM picture with a quiet zone, for a real QR reader (zbarimg).

#include <fstream>
#include <functional>
#include <string>

namespace vyn::test {

// Writes `size` x `size` modules (`dark(x, y)`), 6 pixels each, with 4 light modules around them;
// returns `path`.
inline std::string writeQrPicture(const std::string& path, int size,
                                  const std::function<bool(int, int)>& dark) {
    const int scale = 6, quiet = 4, side = (size + 2 * quiet) * scale;
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << side << " " << side << "\n255\n";
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int mx = x / scale - quiet, my = y / scale - quiet;
            const bool inside = mx >= 0 && my >= 0 && mx < size && my < size;
            out.put(inside && dark(mx, my) ? '\0' : '\xff');
        }
    return path;
}

} // namespace vyn::test
