#pragma once
// The QR code of the panel's link, for a phone's camera (libqrencode).
#include <string_view>
#include <vector>

namespace lumivox {

// The code's modules, row by row (true is dark), without the quiet zone around
// it; empty when the text does not fit a code.
std::vector<std::vector<bool>> qrModules(std::string_view text);

}  // namespace lumivox
