#include "control/link/PairingQr.h"

#include <qrcodegen.hpp>

#include <exception>
#include <string>

namespace vyn {

QrModules encodePairingQr(std::string_view text) {
    QrModules out;
    if (text.empty()) return out;
    try {
        using qrcodegen::QrCode;
        using qrcodegen::QrSegment;
        const std::string owned(text);
        const QrCode qr = QrCode::encodeSegments(QrSegment::makeSegments(owned.c_str()),
                                                 QrCode::Ecc::MEDIUM, 1, 40, -1, false);
        out.size = qr.getSize();
        out.dark.resize(static_cast<std::size_t>(out.size) * static_cast<std::size_t>(out.size));
        for (int y = 0; y < out.size; ++y)
            for (int x = 0; x < out.size; ++x)
                out.dark[static_cast<std::size_t>(y * out.size + x)] = qr.getModule(x, y) ? 1 : 0;
    } catch (const std::exception&) {
        out = QrModules{}; // too long for any version: no QR code
    }
    return out;
}

} // namespace vyn
