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

// An icon from embedded PNG assets named by `pattern` with "{n}" for the size,
// in every size found of 16, 32, 48, 64 and 128 pixels.
QIcon embeddedIcon(std::string_view pattern);

// The program's icon ("DEFAULT_ICON") in all its sizes.
QIcon programIcon();

}  // namespace lumivox
