#include "forms/qt/Pictures.hpp"

#include <csetjmp>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include <jpeglib.h>

#include "assets/Assets.hpp"

namespace lumivox {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return: jump
// back to the decoder, which owns nothing that needs a destructor at that point.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void onJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void ignoreJpegMessage(j_common_ptr) {}

bool decodeInto(std::span<const std::uint8_t> data, QSize atLeast, QImage& image) {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onJpegError;
    errors.base.output_message = ignoreJpegMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 1;
    for (unsigned denom : {8u, 4u, 2u}) {
        const auto scaled = [denom](JDIMENSION side) { return (side + denom - 1) / denom; };
        if (atLeast.isValid() && scaled(info.image_width) >= unsigned(atLeast.width()) &&
            scaled(info.image_height) >= unsigned(atLeast.height())) {
            info.scale_denom = denom;
            break;
        }
    }
    info.out_color_space = JCS_EXT_BGRX;  // the byte order of QImage::Format_RGB32
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                   QImage::Format_RGB32);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

QImage decodeJpeg(std::span<const std::uint8_t> data, QSize atLeast) {
    if (data.size() < 4) {
        return {};
    }
    QImage image;
    if (!decodeInto(data, atLeast, image)) {
        return {};
    }
    return image;
}

QImage embeddedPicture(std::string_view assetName, QSize atLeast) {
    // Decoded once: the bar picture alone serves 55 buttons.
    static std::map<std::tuple<std::string, int, int>, QImage> decoded;
    const auto key = std::make_tuple(std::string(assetName), atLeast.width(), atLeast.height());
    auto found = decoded.find(key);
    if (found == decoded.end()) {
        found = decoded.emplace(key, decodeJpeg(assets::find(assetName), atLeast)).first;
    }
    return found->second;
}

QIcon embeddedIcon(std::string_view pattern) {
    QIcon icon;
    const std::string mark = "{n}";
    for (int size : {16, 32, 48, 64, 128}) {
        std::string name(pattern);
        if (auto at = name.find(mark); at != std::string::npos) {
            name.replace(at, mark.size(), std::to_string(size));
        }
        auto data = assets::find(name);
        QImage image;
        if (image.loadFromData(data.data(), static_cast<int>(data.size()), "PNG")) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

QIcon programIcon() {
    return embeddedIcon("icons/lumivox_{n}.png");
}

}  // namespace lumivox
