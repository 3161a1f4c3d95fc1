#pragma once
// Pictures of the layouts on Windows: the embedded JPEGs (and the icon PNGs)
// decoded by the system's imaging component (WIC), masked with their key
// colour exactly as the Qt runtime masks them, and drawn with GDI.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "forms/Layout.hpp"

namespace lumivox::win32 {

// A decoded picture, rows from the top, one 0xAARRGGBB value a pixel (the byte
// order of a 32-bit DIB; JPEGs are opaque).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    bool empty() const { return pixels.empty(); }
};

// Any picture WIC reads (JPEG, PNG) from memory; empty when it does not decode.
// COM must be initialised on the calling thread.
Picture decodePicture(std::span<const std::uint8_t> data);

// The embedded picture of that asset name, decoded once; null when missing or
// not decodable.
const Picture* embeddedPicture(std::string_view assetName);

// A picture with the pixels of its key colour left out: drawn by and-ing the
// mask (white where left out, black elsewhere) and or-ing the colour bitmap
// (black where left out), so the pixels drawn are the decoded ones exactly.
struct MaskedPicture {
    int width = 0;
    int height = 0;
    HBITMAP colour = nullptr;
    HBITMAP mask = nullptr;
};

// The key colour of a transparent setting: the setting itself, or for the
// default the picture's top-left pixel. 0x00RRGGBB.
std::uint32_t keyColour(const Picture& picture, layout::Colour transparent);

// The picture as drawn at `dpi` with the pixels of its key colour left out:
// scaled from the layouts' 96 DPI (bilinear; the left-out pixels lend no
// colour), each pixel opaque or, left out, 0. At 96 DPI the decoded pixels.
Picture keyedAt(const Picture& picture, layout::Colour transparent, int dpi);

// The masked copy of an embedded picture at `dpi` (scaled from the layouts'
// 96), made once for all the buttons that share it; null when the asset is
// null or missing.
const MaskedPicture* maskedAsset(const char* assetName, layout::Colour transparent, int dpi);

// The disabled look of an image button without a picture of its own for it:
// its outside picture in grey, with #0088FF left out (as generated disabled
// pictures are), at `dpi`; null when the asset is null or missing.
const MaskedPicture* greyedAsset(const char* assetName, int dpi);

// Draws a masked picture at its own size with its top-left corner at (x, y).
void drawMasked(HDC dc, const MaskedPicture& picture, int x, int y);

// Draws a picture stretched into the rectangle (smoothed).
void drawStretched(HDC dc, const Picture& picture, const RECT& area);
// The same, each pixel a sharp block (a code must keep its edges).
void drawSharp(HDC dc, const Picture& picture, const RECT& area);

// An icon of `size` pixels from the embedded PNGs named by `pattern` with "{n}"
// for the size (the nearest size found of 16, 32, 48, 64 and 128); null when
// none decodes. Made once for each pattern and size.
HICON embeddedIcon(std::string_view pattern, int size);

// The program's icon: the embedded PNGs, and the icon group of Lumivox.exe's
// resources (app/win32/Lumivox.rc.in).
inline constexpr std::string_view kProgramIcon = "icons/lumivox_{n}.png";
inline constexpr wchar_t kProgramIconResource[] = L"DEFAULT_ICON";

// The program's icon of `size` pixels: from the resources when the program
// has them, else from the PNGs. Made once for each size.
HICON programIcon(int size);

}  // namespace lumivox::win32
