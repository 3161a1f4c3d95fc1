// How far the Windows build's pages (screenshots saved by app_wine_e2e_tests
// under Wine) differ from the Linux build's (scripts/screenshots), pixel by
// pixel in the areas of the controls each page shows, and how far WIC's
// decoding of the pictures differs from libjpeg's.
//   app_compare_screenshots <folder of the Wine BMPs> <folder of the Linux PNGs>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <QImage>
#include <QRect>

#include "assets/Assets.hpp"
#include "forms/Layout.hpp"
#include "forms/qt/Pictures.hpp"

namespace {

using namespace lumivox;
using layout::Kind;

// Differences within an area: pixels that differ at all, and by more than a
// level of 16 in some channel; the largest difference of a channel.
struct Tally {
    long pixels = 0;
    long differing = 0;
    long differingMuch = 0;
    int largest = 0;
    void add(QRgb a, QRgb b) {
        ++pixels;
        const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                std::abs(qBlue(a) - qBlue(b))});
        differing += d > 0;
        differingMuch += d > 16;
        largest = std::max(largest, d);
    }
    void add(const Tally& other) {
        pixels += other.pixels;
        differing += other.differing;
        differingMuch += other.differingMuch;
        largest = std::max(largest, other.largest);
    }
    void print(const char* what) const {
        std::printf(
            "  %-34s %7ld px: %6ld differ (%5.1f%%), %6ld by more than 16 (%5.1f%%), "
            "largest %3d\n",
            what, pixels, differing, pixels ? 100.0 * differing / pixels : 0.0, differingMuch,
            pixels ? 100.0 * differingMuch / pixels : 0.0, largest);
    }
};

Tally compare(const QImage& a, const QImage& b, QRect area) {
    Tally tally;
    area &= a.rect() & b.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            tally.add(a.pixel(x, y), b.pixel(x, y));
        }
    }
    return tally;
}

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::PictureBox:
            return "picture boxes (banner)";
        case Kind::ImageButton:
            return "image buttons";
        case Kind::TransparentLabel:
            return "transparent labels";
        case Kind::EditBox:
        case Kind::MultiLineEditBox:
            return "edit boxes";
        default:
            return "other controls";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <wine shots> <linux shots>\n", argv[0]);
        return 2;
    }
    const std::string wine = argv[1];
    const std::string linux = argv[2];
    const layout::WindowLayout& window = layout::mainWindowLayout();
    const std::vector<layout::Control> controls = layout::expandControls(window);
    std::map<std::string, const layout::Control*> byName;
    for (const layout::Control& control : controls) {
        byName[control.name] = &control;
    }
    const QRect client(0, 0, window.clientWidth, window.clientHeight);
    struct Page {
        const char* file;
        const char* shown;
    };
    int status = 0;
    for (const Page page : {Page{"sound-effects", "图片框3"}, Page{"song-slots", "图片框1"},
                            Page{"hotkey-phrases", "图片框4"}}) {
        const QImage a = QImage(QString::fromStdString(wine + "/" + page.file + ".bmp"))
                             .convertToFormat(QImage::Format_RGB32);
        const QImage b = QImage(QString::fromStdString(linux + "/" + page.file + ".png"))
                             .convertToFormat(QImage::Format_RGB32);
        if (a.isNull() || b.isNull()) {
            std::fprintf(stderr, "%s: a screenshot is missing\n", page.file);
            status = 1;
            continue;
        }
        std::printf("%s (Wine %dx%d, Linux %dx%d)\n", page.file, a.width(), a.height(), b.width(),
                    b.height());
        std::map<std::string, Tally> byKind;
        Tally all;
        Tally pictureOnly;  // areas where only a picture is drawn (no caption)
        for (const layout::Control& control : controls) {
            // Shown: it and every control it lies in, with this page as the one shown.
            bool shown = true;
            QRect area(control.left, control.top, control.width, control.height);
            for (const layout::Control* at = &control; at != nullptr && shown;) {
                const bool isPage =
                    at->name == "图片框3" || at->name == "图片框1" || at->name == "图片框4";
                shown = isPage ? at->name == page.shown : at->visible;
                const auto parent = byName.find(at->parent);
                at = parent == byName.end() ? nullptr : parent->second;
                if (at != nullptr) {
                    area.translate(at->left, at->top);
                    area &= QRect(at->left, at->top, at->width, at->height);
                }
            }
            area &= client;
            const bool leaf =
                control.kind == Kind::ImageButton || control.kind == Kind::TransparentLabel ||
                control.kind == Kind::EditBox || control.kind == Kind::MultiLineEditBox ||
                (control.kind == Kind::PictureBox && control.parent.empty() &&
                 !control.caption.empty());
            if (!shown || !leaf || area.isEmpty()) {
                continue;
            }
            const Tally tally = compare(a, b, area);
            byKind[kindName(control.kind)].add(tally);
            all.add(tally);
            if (control.kind == Kind::ImageButton) {
                // The play and stop buttons have no caption; the bars' ends and
                // the tabs' lower rows lie beside or below theirs.
                if (control.caption.empty()) {
                    pictureOnly.add(compare(a, b, area));
                } else if (control.name.starts_with("特定按钮")) {
                    pictureOnly.add(compare(a, b, area.adjusted(0, 36, 0, 0)));
                } else {
                    pictureOnly.add(compare(a, b, QRect(area.left(), area.top(), 10, 30)));
                    pictureOnly.add(compare(a, b, QRect(area.left() + 86, area.top(), 10, 30)));
                }
            }
        }
        for (const auto& [kind, tally] : byKind) {
            tally.print(kind.c_str());
        }
        pictureOnly.print("picture-only parts of the buttons");
        all.print("all the controls shown");
        compare(a, b, client).print("the whole client area");
    }
    std::printf("pictures, WIC under Wine against libjpeg\n");
    for (const char* asset : {"bar", "tab_out", "tab_in", "play", "stop", "banner"}) {
        const QImage a = QImage(QString::fromStdString(wine + "/decoded-" + asset + ".bmp"))
                             .convertToFormat(QImage::Format_RGB32);
        const QImage b = decodeJpeg(assets::find(std::string("pictures/") + asset + ".jpg"));
        if (a.isNull() || b.isNull() || a.size() != b.size()) {
            std::fprintf(stderr, "%s: missing or of another size\n", asset);
            status = 1;
            continue;
        }
        compare(a, b, a.rect()).print(asset);
    }
    return status;
}
