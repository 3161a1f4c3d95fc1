#pragma once
// Pictures of the layouts: JPEG decoded from memory with libjpeg, and the
// embedded pictures and icon by asset name.
#include <cstdint>
#include <span>
#include <string_view>

#include <QIcon>
#include <QImage>

namespace lumivox {

// A baseline or progressive JPEG (grey or colour) as an RGB32 image; a null
// image when the data is not a JPEG it can decode.
QImage decodeJpeg(std::span<const std::uint8_t> data);

// The embedded JPEG of that asset name, decoded once and kept; null when missing.
QImage embeddedPicture(std::string_view assetName);

// The program's icon ("DEFAULT_ICON") in all its sizes.
QIcon programIcon();

}  // namespace lumivox
