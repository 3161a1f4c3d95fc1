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
// image when the data is not a JPEG it can decode. With `atLeast`, libjpeg
// decodes at the smallest of 1/8, 1/4 and 1/2 of the size that still covers it
// (a picture stretched smaller than half its size needs no more pixels: faster,
// and a quarter of the memory at each halving).
QImage decodeJpeg(std::span<const std::uint8_t> data, QSize atLeast = {});

// The embedded JPEG of that asset name, decoded once for each `atLeast` and
// kept; null when missing.
QImage embeddedPicture(std::string_view assetName, QSize atLeast = {});

// An icon from embedded PNG assets named by `pattern` with "{n}" for the size,
// in every size found of 16, 32, 48, 64 and 128 pixels.
QIcon embeddedIcon(std::string_view pattern);

// The program's icon ("DEFAULT_ICON") in all its sizes.
QIcon programIcon();

}  // namespace lumivox
