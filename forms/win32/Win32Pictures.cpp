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

MaskedPicture maskedCopy(const Picture* picture, layout::Colour transparent) {
    MaskedPicture masked;
    if (picture != nullptr) {
        const std::uint32_t left = keyColour(*picture, transparent);
        std::vector<std::uint32_t> colour(picture->pixels.size());
        std::vector<std::uint32_t> mask(picture->pixels.size());
        for (size_t i = 0; i < colour.size(); ++i) {
            const std::uint32_t pixel = picture->pixels[i] & kRgbMask;
            const bool out = pixel == left;
            colour[i] = out ? 0 : pixel;
            mask[i] = out ? kRgbMask : 0;
        }
        masked.width = picture->width;
        masked.height = picture->height;
        masked.colour = bitmapOf(picture->width, picture->height, colour.data());
        masked.mask = bitmapOf(picture->width, picture->height, mask.data());
    }
    return masked;
}

}  // namespace

const MaskedPicture* maskedAsset(const char* assetName, layout::Colour transparent) {
    if (assetName == nullptr) {
        return nullptr;
    }
    static std::map<std::pair<std::string, layout::Colour>, MaskedPicture> made;
    const auto key = std::make_pair(std::string(assetName), transparent);
    auto found = made.find(key);
    if (found == made.end()) {
        found = made.emplace(key, maskedCopy(embeddedPicture(assetName), transparent)).first;
    }
    return found->second.colour == nullptr ? nullptr : &found->second;
}

const MaskedPicture* greyedAsset(const char* assetName) {
    if (assetName == nullptr) {
        return nullptr;
    }
    static std::map<std::string, MaskedPicture> made;
    auto found = made.find(assetName);
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
        found = made.emplace(assetName, maskedCopy(picture != nullptr ? &grey : nullptr,
                                                   layout::rgb(0x00, 0x88, 0xFF)))
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

void drawStretched(HDC dc, const Picture& picture, const RECT& area) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int oldMode = SetStretchBltMode(dc, HALFTONE);
    POINT oldOrigin;
    SetBrushOrgEx(dc, 0, 0, &oldOrigin);
    StretchDIBits(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, 0, 0,
                  picture.width, picture.height, picture.pixels.data(), &info, DIB_RGB_COLORS,
                  SRCCOPY);
    SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    SetStretchBltMode(dc, oldMode);
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

}  // namespace lumivox::win32
