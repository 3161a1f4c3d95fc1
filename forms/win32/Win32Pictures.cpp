#include "forms/win32/Win32Pictures.hpp"

// After windows.h (in the header), whose types it uses.
#include <wincodec.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "assets/Assets.hpp"
#include "forms/win32/Win32Dpi.hpp"

namespace lumivox::win32 {
namespace {

// Holds one COM interface and releases it.
template <typename T>
class Com {
  public:
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    T** out() { return &pointer_; }
    T* operator->() const { return pointer_; }
    T* get() const { return pointer_; }

  private:
    T* pointer_ = nullptr;
};

IWICImagingFactory* imagingFactory() {
    // Made once on the GUI thread and kept for the process's life.
    static IWICImagingFactory* factory = [] {
        IWICImagingFactory* made = nullptr;
        if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, reinterpret_cast<void**>(&made)))) {
            return static_cast<IWICImagingFactory*>(nullptr);
        }
        return made;
    }();
    return factory;
}

// A 32-bit top-down DIB section of the given pixels.
HBITMAP bitmapOf(int width, int height, const std::uint32_t* pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        std::copy_n(pixels, static_cast<size_t>(width) * static_cast<size_t>(height),
                    static_cast<std::uint32_t*>(bits));
    }
    return bitmap;
}

constexpr std::uint32_t kRgbMask = 0x00FFFFFFu;

}  // namespace

Picture decodePicture(std::span<const std::uint8_t> data) {
    IWICImagingFactory* factory = imagingFactory();
    if (factory == nullptr || data.size() < 4 || data.size() > UINT_MAX) {
        return {};
    }
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICFormatConverter> converter;
    UINT width = 0;
    UINT height = 0;
    if (FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data.data()),
                                            static_cast<DWORD>(data.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, decoder.out())) ||
        FAILED(decoder->GetFrame(0, frame.out())) ||
        FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 || width > 16384 ||
        height > 16384) {
        return {};
    }
    Picture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.pixels.resize(static_cast<size_t>(width) * height);
    if (FAILED(converter->CopyPixels(nullptr, width * 4,
                                     static_cast<UINT>(picture.pixels.size() * 4),
                                     reinterpret_cast<BYTE*>(picture.pixels.data())))) {
        return {};
    }
    return picture;
}

const Picture* embeddedPicture(std::string_view assetName) {
    // Decoded once: the bar picture alone serves 55 buttons.
    static std::map<std::string, Picture, std::less<>> decoded;
    auto found = decoded.find(assetName);
    if (found == decoded.end()) {
        found =
            decoded.emplace(std::string(assetName), decodePicture(assets::find(assetName))).first;
    }
    return found->second.empty() ? nullptr : &found->second;
}

std::uint32_t keyColour(const Picture& picture, layout::Colour transparent) {
    if (transparent == layout::kDefaultColour) {
        return picture.empty() ? 0 : picture.pixels.front() & kRgbMask;
    }
    // 0x00BBGGRR to the DIB's 0x00RRGGBB.
    return ((transparent & 0xFFu) << 16) | (transparent & 0xFF00u) | ((transparent >> 16) & 0xFFu);
}

namespace {

// One channel of a premultiplied 0xAARRGGBB pixel.
constexpr std::uint32_t channel(std::uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFFu;
}

// The picture resized to width x height, bilinear over premultiplied pixels, so
// pixels left out (alpha 0) do not bleed their colour into the ones kept. The
// same code on every system (WIC's scaler interpolates differently under Wine).
Picture resized(const Picture& picture, int width, int height) {
    Picture made;
    made.width = width;
    made.height = height;
    made.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    auto at = [&](int x, int y) {
        return picture.pixels[static_cast<size_t>(y) * static_cast<size_t>(picture.width) +
                              static_cast<size_t>(x)];
    };
    for (int y = 0; y < height; ++y) {
        // Pixel centres mapped back, in 1/256 of a source pixel.
        const int sy = std::max(0, ((2 * y + 1) * picture.height * 128) / height - 128);
        const int y0 = std::min(sy >> 8, picture.height - 1);
        const int y1 = std::min(y0 + 1, picture.height - 1);
        const int fy = sy & 0xFF;
        for (int x = 0; x < width; ++x) {
            const int sx = std::max(0, ((2 * x + 1) * picture.width * 128) / width - 128);
            const int x0 = std::min(sx >> 8, picture.width - 1);
            const int x1 = std::min(x0 + 1, picture.width - 1);
            const int fx = sx & 0xFF;
            std::uint32_t out = 0;
            for (int shift : {24, 16, 8, 0}) {
                const std::uint32_t top =
                    channel(at(x0, y0), shift) * (256 - fx) + channel(at(x1, y0), shift) * fx;
                const std::uint32_t bottom =
                    channel(at(x0, y1), shift) * (256 - fx) + channel(at(x1, y1), shift) * fx;
                const std::uint32_t value =
                    (top * static_cast<std::uint32_t>(256 - fy) +
                     bottom * static_cast<std::uint32_t>(fy) + 32768) >> 16;
                out |= std::min<std::uint32_t>(value, 0xFF) << shift;
            }
            made.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                        static_cast<size_t>(x)] = out;
        }
    }
    return made;
}

// The masked copy: a bitmap of the kept colours, and the mask.
MaskedPicture maskedCopy(const Picture* picture, layout::Colour transparent, int dpi) {
    MaskedPicture masked;
    if (picture == nullptr) {
        return masked;
    }
    const Picture keyed = keyedAt(*picture, transparent, dpi);
    std::vector<std::uint32_t> colour(keyed.pixels.size());
    std::vector<std::uint32_t> mask(keyed.pixels.size());
    for (size_t i = 0; i < colour.size(); ++i) {
        const bool out = (keyed.pixels[i] >> 24) == 0;
        colour[i] = keyed.pixels[i] & kRgbMask;
        mask[i] = out ? kRgbMask : 0;
    }
    masked.width = keyed.width;
    masked.height = keyed.height;
    masked.colour = bitmapOf(keyed.width, keyed.height, colour.data());
    masked.mask = bitmapOf(keyed.width, keyed.height, mask.data());
    return masked;
}

}  // namespace

Picture keyedAt(const Picture& picture, layout::Colour transparent, int dpi) {
    const std::uint32_t left = keyColour(picture, transparent);
    Picture keyed = picture;
    for (std::uint32_t& pixel : keyed.pixels) {
        pixel = (pixel & kRgbMask) == left ? 0 : 0xFF000000u | (pixel & kRgbMask);
    }
    if (dpi == kLayoutDpi) {
        return keyed;
    }
    keyed = resized(keyed, std::max(scaled(picture.width, dpi), 1),
                    std::max(scaled(picture.height, dpi), 1));
    for (std::uint32_t& pixel : keyed.pixels) {
        const std::uint32_t alpha = pixel >> 24;
        if (alpha < 0x80) {
            pixel = 0;
        } else if (alpha != 0xFF) {
            // Back from premultiplied, opaque.
            std::uint32_t kept = 0xFF000000u;
            for (int shift : {16, 8, 0}) {
                kept |= std::min<std::uint32_t>(channel(pixel, shift) * 255 / alpha, 0xFF) << shift;
            }
            pixel = kept;
        }
    }
    return keyed;
}

const MaskedPicture* maskedAsset(const char* assetName, layout::Colour transparent, int dpi) {
    if (assetName == nullptr) {
        return nullptr;
    }
    static std::map<std::tuple<std::string, layout::Colour, int>, MaskedPicture> made;
    const auto key = std::make_tuple(std::string(assetName), transparent, dpi);
    auto found = made.find(key);
    if (found == made.end()) {
        found = made.emplace(key, maskedCopy(embeddedPicture(assetName), transparent, dpi)).first;
    }
    return found->second.colour == nullptr ? nullptr : &found->second;
}

const MaskedPicture* greyedAsset(const char* assetName, int dpi) {
    if (assetName == nullptr) {
        return nullptr;
    }
    static std::map<std::pair<std::string, int>, MaskedPicture> made;
    const auto key = std::make_pair(std::string(assetName), dpi);
    auto found = made.find(key);
    if (found == made.end()) {
        const Picture* picture = embeddedPicture(assetName);
        Picture grey;
        if (picture != nullptr) {
            grey = *picture;
            for (std::uint32_t& pixel : grey.pixels) {
                // The grey of the Qt build's greyed pictures: (11 r + 16 g + 5 b) / 32.
                const std::uint32_t level = (((pixel >> 16) & 0xFF) * 11 +
                                             ((pixel >> 8) & 0xFF) * 16 + (pixel & 0xFF) * 5) /
                                            32;
                pixel = 0xFF000000u | (level << 16) | (level << 8) | level;
            }
        }
        found = made.emplace(key, maskedCopy(picture != nullptr ? &grey : nullptr,
                                             layout::rgb(0x00, 0x88, 0xFF), dpi))
                    .first;
    }
    return found->second.colour == nullptr ? nullptr : &found->second;
}

void drawMasked(HDC dc, const MaskedPicture& picture, int x, int y) {
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, picture.mask);
    BitBlt(dc, x, y, picture.width, picture.height, source, 0, 0, SRCAND);
    SelectObject(source, picture.colour);
    BitBlt(dc, x, y, picture.width, picture.height, source, 0, 0, SRCPAINT);
    SelectObject(source, old);
    DeleteDC(source);
}

namespace {

void drawScaled(HDC dc, const Picture& picture, const RECT& area, int mode) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int oldMode = SetStretchBltMode(dc, mode);
    POINT oldOrigin;
    SetBrushOrgEx(dc, 0, 0, &oldOrigin);
    StretchDIBits(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, 0, 0,
                  picture.width, picture.height, picture.pixels.data(), &info, DIB_RGB_COLORS,
                  SRCCOPY);
    SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    SetStretchBltMode(dc, oldMode);
}

}  // namespace

void drawStretched(HDC dc, const Picture& picture, const RECT& area) {
    drawScaled(dc, picture, area, HALFTONE);
}

void drawSharp(HDC dc, const Picture& picture, const RECT& area) {
    drawScaled(dc, picture, area, COLORONCOLOR);
}

HICON embeddedIcon(std::string_view pattern, int size) {
    static std::map<std::pair<std::string, int>, HICON> made;
    const auto key = std::make_pair(std::string(pattern), size);
    if (auto found = made.find(key); found != made.end()) {
        return found->second;
    }
    // The nearest size of the ones carried, the larger one on a tie.
    Picture best;
    for (int carried : {128, 64, 48, 32, 16}) {
        std::string name(pattern);
        if (auto at = name.find("{n}"); at != std::string::npos) {
            name.replace(at, 3, std::to_string(carried));
        }
        Picture picture = decodePicture(assets::find(name));
        if (!picture.empty() &&
            (best.empty() || std::abs(picture.width - size) < std::abs(best.width - size))) {
            best = std::move(picture);
        }
    }
    HICON icon = nullptr;
    if (!best.empty()) {
        ICONINFO info{};
        info.fIcon = TRUE;
        info.hbmColor = bitmapOf(best.width, best.height, best.pixels.data());
        // The alpha channel says what shows; the and-mask (one bit a pixel,
        // rows of whole 16-bit words) is all zeros.
        const std::vector<std::uint8_t> zeros(
            static_cast<size_t>((best.width + 15) / 16 * 2) * static_cast<size_t>(best.height), 0);
        info.hbmMask = CreateBitmap(best.width, best.height, 1, 1, zeros.data());
        icon = CreateIconIndirect(&info);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    made.emplace(key, icon);
    return icon;
}

HICON programIcon(int size) {
    static std::map<int, HICON> made;
    if (auto found = made.find(size); found != made.end()) {
        return found->second;
    }
    // The icon group in the program's resources holds every size; Windows picks
    // the nearest and scales it (no PNG to decode at start).
    auto* icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), kProgramIconResource, IMAGE_ICON, size, size, 0));
    if (icon == nullptr) {
        icon = embeddedIcon(kProgramIcon, size);  // a program without the resource (tests)
    }
    made.emplace(size, icon);
    return icon;
}

}  // namespace lumivox::win32
