#include "remote/QrCode.hpp"

#include <qrencode.h>

#include <string>

namespace lumivox {

std::vector<std::vector<bool>> qrModules(std::string_view text) {
    const std::string zeroEnded(text);
    // Level M: a phone reads a screen's code at an angle; 8-bit, so the link's
    // letters of both cases stay as they are.
    QRcode* code = QRcode_encodeString8bit(zeroEnded.c_str(), 0, QR_ECLEVEL_M);
    if (code == nullptr) {
        return {};
    }
    std::vector<std::vector<bool>> rows(static_cast<std::size_t>(code->width));
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            rows[static_cast<std::size_t>(y)].push_back((code->data[y * code->width + x] & 1) != 0);
        }
    }
    QRcode_free(code);
    return rows;
}

}  // namespace lumivox
