// Draws the program's pictures (JPEG, through libjpeg) and its icon (PNG) into
// an assets folder: lumivox_asset_generator <assets folder>. The drawing is
// deterministic, so a run on the same Qt and fonts gives the same files.
//
// Flat backgrounds that the buttons use as transparent colours (black, #0088FF)
// must survive JPEG exactly: the button pictures are stored at full chroma
// resolution and quality 100, their key colour as the YCbCr value that decodes
// back to it exactly, and the generator checks the decoded corners.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>

#include "forms/qt/Pictures.hpp"

namespace {

const QColor kBlue(0x00, 0x88, 0xFF);  // the transparent colour of "in" pictures
const QString kCjkFace = QStringLiteral("WenQuanYi Micro Hei");

struct YCbCr {
    int y, cb, cr;
};

// The JFIF conversion, rounded.
YCbCr toYCbCr(QRgb rgb) {
    const double r = qRed(rgb), g = qGreen(rgb), b = qBlue(rgb);
    auto clamp = [](double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); };
    return {clamp(0.299 * r + 0.587 * g + 0.114 * b),
            clamp(128 - 0.168736 * r - 0.331264 * g + 0.5 * b),
            clamp(128 + 0.5 * r - 0.418688 * g - 0.081312 * b)};
}

// Compresses YCbCr rows (3 bytes a pixel) at full chroma resolution.
std::vector<unsigned char> compress(const std::vector<unsigned char>& pixels, int width, int height,
                                    int quality) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_YCbCr;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    for (int c = 0; c < 3; ++c) {  // 4:4:4, so flat colours keep their chroma
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    info.optimize_coding = TRUE;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<unsigned char*>(pixels.data() + info.next_scanline * width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<unsigned char> jpeg(buffer, buffer + size);
    std::free(buffer);
    return jpeg;
}

QRgb decodedFlat(const YCbCr& value) {
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 64; ++i) {
        pixels.insert(pixels.end(),
                      {static_cast<unsigned char>(value.y), static_cast<unsigned char>(value.cb),
                       static_cast<unsigned char>(value.cr)});
    }
    const auto jpeg = compress(pixels, 8, 8, 100);
    QImage decoded = QImage::fromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG");
    return decoded.isNull() ? 0 : decoded.pixel(0, 0);
}

// The YCbCr value whose flat block decodes to exactly this colour (the plain
// conversion can be one off, and a transparent colour must match exactly).
YCbCr exactYCbCr(QColor colour) {
    const YCbCr nominal = toYCbCr(colour.rgb());
    for (int dy = 0; dy <= 2; ++dy) {
        for (int dcb = -2; dcb <= 2; ++dcb) {
            for (int dcr = -2; dcr <= 2; ++dcr) {
                for (int sign : {1, -1}) {
                    YCbCr candidate{nominal.y + sign * dy, nominal.cb + dcb, nominal.cr + dcr};
                    if (candidate.y < 0 || candidate.y > 255 || candidate.cb < 0 ||
                        candidate.cb > 255 || candidate.cr < 0 || candidate.cr > 255) {
                        continue;
                    }
                    if ((decodedFlat(candidate) & 0xFFFFFFu) == (colour.rgb() & 0xFFFFFFu)) {
                        return candidate;
                    }
                }
            }
        }
    }
    return nominal;
}

// Writes the picture as JPEG, key-coloured pixels stored as the YCbCr value that
// decodes back to the key exactly. Beside a shape the block's other pixels make
// the compression ring, so some key pixels there come back a level or two off:
// the count is reported (the program's own decoder reads the result back).
bool writeJpeg(const QImage& picture, const std::filesystem::path& path, int quality, QColor key) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb keyRgb = key.isValid() ? (key.rgb() & 0xFFFFFFu) : 0;
    const YCbCr exactKey = key.isValid() ? exactYCbCr(key) : YCbCr{};
    std::vector<unsigned char> pixels;
    std::vector<QPoint> keyPixels;
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb pixel = rgb.pixel(x, y);
            const bool isKey = key.isValid() && (pixel & 0xFFFFFFu) == keyRgb;
            if (isKey) {
                keyPixels.emplace_back(x, y);
            }
            const YCbCr value = isKey ? exactKey : toYCbCr(pixel);
            pixels.insert(pixels.end(), {static_cast<unsigned char>(value.y),
                                         static_cast<unsigned char>(value.cb),
                                         static_cast<unsigned char>(value.cr)});
        }
    }
    const auto jpeg = compress(pixels, rgb.width(), rgb.height(), quality);
    if (key.isValid()) {
        const QImage decoded = lumivox::decodeJpeg(jpeg);
        const auto off = std::count_if(keyPixels.begin(), keyPixels.end(), [&](QPoint p) {
            return (decoded.pixel(p) & 0xFFFFFFu) != keyRgb;
        });
        std::printf("%s: %td of %zu key pixels off\n", path.filename().c_str(), off,
                    keyPixels.size());
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(jpeg.data(), 1, jpeg.size(), file) == jpeg.size();
    return std::fclose(file) == 0 && written;
}

// A dark banner crossed by magenta and red light streaks.
QImage banner() {
    QImage image(1600, 300, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(0x12, 0x04, 0x18));
    sky.setColorAt(1, QColor(0x04, 0x00, 0x08));
    painter.fillRect(image.rect(), sky);
    QRandomGenerator random(20261209);
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    for (int streak = 0; streak < 40; ++streak) {
        const bool magenta = streak % 3 != 0;
        const QColor core = magenta ? QColor(0xFF, 0x20, 0xD0) : QColor(0xFF, 0x20, 0x30);
        const double x = random.bounded(1800) - 100;
        const double y = random.bounded(300);
        const double length = 200 + random.bounded(700);
        const double rise = -60 + random.bounded(120);
        const double width = 1.5 + random.bounded(6.0);
        QLinearGradient along(x, y, x + length, y + rise);
        QColor clear = core;
        clear.setAlpha(0);
        QColor bright = core;
        bright.setAlpha(60 + random.bounded(140));
        along.setColorAt(0, clear);
        along.setColorAt(0.5, bright);
        along.setColorAt(1, clear);
        for (int glow = 3; glow >= 1; --glow) {  // a soft halo around a brighter core
            painter.setPen(QPen(QBrush(along), width * glow * 1.6, Qt::SolidLine, Qt::RoundCap));
            painter.setOpacity(glow == 1 ? 1.0 : 0.25);
            painter.drawLine(QPointF(x, y), QPointF(x + length, y + rise));
        }
    }
    painter.setOpacity(1.0);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QFont title(kCjkFace);
    title.setPixelSize(120);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(0xFF, 0xE0, 0xF8));
    painter.drawText(QRect(80, 0, 1200, 300), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Lumivox"));
    return image;
}

// Fills with the key colour every 8 x 8 block (a JPEG block) that holds nothing
// but black: such blocks decode to the key exactly and are left out when drawn,
// while the blocks a shape touches keep black around it, which shows the same
// as the black background the picture is drawn on.
void keyWholeBlackBlocks(QImage& image, QColor key) {
    for (int top = 0; top < image.height(); top += 8) {
        for (int left = 0; left < image.width(); left += 8) {
            const QRect block = QRect(left, top, 8, 8).intersected(image.rect());
            bool black = true;
            for (int y = block.top(); y <= block.bottom() && black; ++y) {
                for (int x = block.left(); x <= block.right() && black; ++x) {
                    black = (image.pixel(x, y) & 0xFFFFFFu) == 0;
                }
            }
            if (black) {
                QPainter(&image).fillRect(block, key);
            }
        }
    }
}

// A magenta tab with rounded top corners and a small orange ribbon at its right
// end. The "over" variant is only drawn on black, so its key colour (#0088FF)
// fills whole blocks only.
QImage tab(bool over) {
    QImage image(100, 45, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(2, 4, 96, 44), 10, 10);
    QLinearGradient fill(0, 4, 0, 45);
    fill.setColorAt(0, over ? QColor(0xFF, 0x70, 0xE8) : QColor(0xE0, 0x30, 0xC0));
    fill.setColorAt(1, over ? QColor(0xC0, 0x20, 0xA8) : QColor(0x90, 0x10, 0x80));
    painter.fillPath(shape, fill);
    painter.fillRect(QRectF(2, 41, 96, 4),
                     over ? QColor(0xC0, 0x20, 0xA8) : QColor(0x90, 0x10, 0x80));
    QPainterPath ribbon;
    ribbon.moveTo(80, 4);
    ribbon.lineTo(92, 4);
    ribbon.lineTo(92, 20);
    ribbon.lineTo(86, 15);
    ribbon.lineTo(80, 20);
    ribbon.closeSubpath();
    painter.fillPath(ribbon, QColor(0xFF, 0x90, 0x10));
    painter.end();
    if (over) {
        keyWholeBlackBlocks(image, kBlue);
    }
    return image;
}

// A grey glossy bar with rounded ends.
QImage bar() {
    QImage image(96, 30, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(1, 1, 94, 28), 13, 13);
    QLinearGradient fill(0, 1, 0, 29);
    fill.setColorAt(0, QColor(0x9A, 0x9A, 0x9A));
    fill.setColorAt(0.45, QColor(0x5A, 0x5A, 0x5A));
    fill.setColorAt(0.55, QColor(0x40, 0x40, 0x40));
    fill.setColorAt(1, QColor(0x60, 0x60, 0x60));
    painter.fillPath(shape, fill);
    QPainterPath gloss;
    gloss.addRoundedRect(QRectF(6, 3, 84, 10), 5, 5);
    QLinearGradient shine(0, 3, 0, 13);
    shine.setColorAt(0, QColor(255, 255, 255, 120));
    shine.setColorAt(1, QColor(255, 255, 255, 10));
    painter.fillPath(gloss, shine);
    return image;
}

// A round dark-teal button on #0088FF with a word painted on it.
QImage roundButton(const QString& word) {
    QImage image(50, 50, QImage::Format_RGB32);
    image.fill(kBlue);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient fill(QPointF(20, 16), 30);
    fill.setColorAt(0, QColor(0x2A, 0x8C, 0x88));
    fill.setColorAt(1, QColor(0x0C, 0x40, 0x40));
    painter.setBrush(fill);
    painter.setPen(QPen(QColor(0x06, 0x28, 0x28), 2));
    painter.drawEllipse(QRectF(4, 4, 42, 42));
    QFont face(kCjkFace);
    face.setPixelSize(14);
    face.setBold(true);
    painter.setFont(face);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 50, 50), Qt::AlignCenter, word);
    return image;
}

// The program icon: a magenta disc with a white microphone and sound waves.
QImage icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    QRadialGradient disc(QPointF(24, 20), 44);
    disc.setColorAt(0, QColor(0xFF, 0x5C, 0xE0));
    disc.setColorAt(1, QColor(0x8A, 0x0C, 0x78));
    painter.setBrush(disc);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(2, 2, 60, 60));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(26, 14, 12, 22), 6, 6);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(20, 18, 24, 24), 200 * 16, 140 * 16);
    painter.drawLine(QPointF(32, 42), QPointF(32, 50));
    painter.drawLine(QPointF(25, 50), QPointF(39, 50));
    painter.drawArc(QRectF(10, 16, 44, 30), 150 * 16, 60 * 16);
    painter.drawArc(QRectF(10, 16, 44, 30), -30 * 16, 60 * 16);
    return image;
}

bool sameColour(QRgb a, QColor b) {
    return (a & 0xFFFFFFu) == (b.rgb() & 0xFFFFFFu);
}

// The corners of each button picture must decode to the transparent colour exactly.
bool cornersExact(const std::filesystem::path& path, QColor colour) {
    QImage decoded(QString::fromStdString(path.string()));
    if (decoded.isNull()) {
        std::fprintf(stderr, "cannot read back %s\n", path.c_str());
        return false;
    }
    const int w = decoded.width() - 1, h = decoded.height() - 1;
    for (QPoint corner : {QPoint(0, 0), QPoint(w, 0), QPoint(0, h), QPoint(w, h)}) {
        if (!sameColour(decoded.pixel(corner), colour)) {
            std::fprintf(stderr, "%s: corner %d,%d is #%06X, not #%06X\n", path.c_str(), corner.x(),
                         corner.y(), decoded.pixel(corner) & 0xFFFFFFu, colour.rgb() & 0xFFFFFFu);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <assets folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::filesystem::create_directories(root / "pictures");
    std::filesystem::create_directories(root / "icons");
    struct Picture {
        const char* name;
        QImage image;
        QColor key;  // the transparent colour; invalid: none
        bool cornersAreKey;
    };
    const std::vector<Picture> pictures = {
        {"banner.jpg", banner(), QColor(), false},
        {"tab_out.jpg", tab(false), Qt::black, true},
        {"tab_in.jpg", tab(true), kBlue, false},
        {"bar.jpg", bar(), Qt::black, true},
        {"play.jpg", roundButton(QStringLiteral("播放")), kBlue, true},
        {"stop.jpg", roundButton(QStringLiteral("停止")), kBlue, true},
    };
    bool ok = true;
    for (const Picture& picture : pictures) {
        const auto path = root / "pictures" / picture.name;
        // The banner is only ever shown shrunk; the button pictures keep every level.
        ok = writeJpeg(picture.image, path, picture.key.isValid() ? 100 : 90, picture.key) && ok;
        if (picture.cornersAreKey) {
            ok = cornersExact(path, picture.key) && ok;
        }
    }
    // 24 and 256 pixels for the Windows icon (tools/assets/make-ico.py packs them).
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const auto path = root / "icons" / ("lumivox_" + std::to_string(size) + ".png");
        ok = icon(size).save(QString::fromStdString(path.string()), "PNG") && ok;
    }
    return ok ? 0 : 1;
}
