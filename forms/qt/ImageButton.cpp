#include "forms/qt/ImageButton.hpp"

#include <map>
#include <string>
#include <utility>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "forms/qt/Pictures.hpp"

namespace lumivox {

QColor toQColor(layout::Colour colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

QImage maskedPicture(const QImage& picture, layout::Colour transparent) {
    if (picture.isNull()) {
        return {};
    }
    QImage masked = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent == layout::kDefaultColour ? (masked.pixel(0, 0) | 0xFF000000u)
                                                           : toQColor(transparent).rgb();
    for (int y = 0; y < masked.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        for (int x = 0; x < masked.width(); ++x) {
            if ((line[x] | 0xFF000000u) == key) {
                line[x] = 0;
            }
        }
    }
    return masked;
}

namespace {

// The disabled picture when none is given: the outside picture in grey.
QImage greyed(const QImage& picture) {
    if (picture.isNull()) {
        return {};
    }
    return picture.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
}

// #0088FF, the transparent colour of generated disabled pictures.
constexpr layout::Colour kDisabledTransparent = layout::rgb(0x00, 0x88, 0xFF);

// The masked copy of an embedded picture, made once for all the buttons that
// share it (55 of them show the bar).
QImage maskedAsset(const char* asset, layout::Colour transparent) {
    if (asset == nullptr) {
        return {};
    }
    static std::map<std::pair<std::string, layout::Colour>, QImage> made;
    auto key = std::make_pair(std::string(asset), transparent);
    auto found = made.find(key);
    if (found == made.end()) {
        found = made.emplace(key, maskedPicture(embeddedPicture(asset), transparent)).first;
    }
    return found->second;
}

}  // namespace

ImageButton::ImageButton(const layout::ButtonLook& look, QWidget* parent)
    : QWidget(parent), look_(look) {
    const char* in = look.pictureIn ? look.pictureIn : look.pictureOut;
    pictureOut_ = maskedAsset(look.pictureOut, look.transparentOut);
    pictureIn_ = maskedAsset(in, look.transparentIn);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
}

void ImageButton::setCaption(const QString& caption) {
    caption_ = caption;
    update();
}

ImageButton::State ImageButton::state() const {
    // Disabled only when the button itself is, not because its window is
    // disabled while a dialog-mode window is open.
    if (testAttribute(Qt::WA_ForceDisabled)) {
        return State::Disabled;
    }
    if (pressedLook() || hover_) {
        return State::In;
    }
    if (hasFocus()) {
        return State::Focus;
    }
    return State::Outside;
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage* picture = &pictureOut_;
    QColor caption = toQColor(look_.captionOut);
    QColor background = toQColor(look_.backgroundOut);
    switch (state()) {
        case State::In:
            picture = &pictureIn_;
            caption = toQColor(look_.captionIn);
            background = toQColor(look_.backgroundIn);
            break;
        case State::Focus:
            caption = toQColor(look_.captionFocus);
            background = toQColor(look_.backgroundFocus);
            break;
        case State::Disabled:
            if (pictureDisabled_.isNull() && look_.pictureOut != nullptr) {
                pictureDisabled_ =
                    maskedPicture(greyed(embeddedPicture(look_.pictureOut)), kDisabledTransparent);
            }
            picture = &pictureDisabled_;
            caption = palette().color(QPalette::Disabled, QPalette::WindowText);
            break;
        case State::Outside:
            break;
    }
    painter.fillRect(rect(), background);
    const int offset = pressedLook() ? 1 : 0;
    if (!picture->isNull()) {
        painter.drawImage(offset, offset, *picture);
    }
    if (!caption_.isEmpty()) {
        painter.setPen(caption);
        painter.setFont(font());
        painter.drawText(rect().translated(offset, offset), Qt::AlignCenter | Qt::TextWordWrap,
                         caption_);
    }
}

void ImageButton::setHover(bool hover) {
    if (hover_ != hover) {
        hover_ = hover;
        update();
    }
}

void ImageButton::mouseMoveEvent(QMouseEvent* event) {
    if (held_) {
        bool inside = rect().contains(event->position().toPoint());
        if (inside != underMouse_) {
            underMouse_ = inside;
            update();
        }
        return;
    }
    // The mouse-over state begins only while a window of the program is active
    // and no button is held.
    if (event->buttons() == Qt::NoButton && QApplication::activeWindow() != nullptr) {
        setHover(true);
    }
}

void ImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    held_ = true;
    underMouse_ = true;
    setFocus(Qt::MouseFocusReason);
    update();
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !held_) {
        return;
    }
    const bool inside = rect().contains(event->position().toPoint());
    held_ = false;
    underMouse_ = false;
    update();
    if (inside) {
        emit clicked();
    }
}

void ImageButton::enterEvent(QEnterEvent* event) {
    if (!held_ && event->buttons() == Qt::NoButton && QApplication::activeWindow() != nullptr) {
        setHover(true);
    }
}

void ImageButton::leaveEvent(QEvent*) {
    setHover(false);
}

void ImageButton::focusInEvent(QFocusEvent*) {
    update();
}

void ImageButton::focusOutEvent(QFocusEvent*) {
    held_ = false;
    underMouse_ = false;
    spaceHeld_ = false;
    hover_ = false;
    update();
}

// Space presses the button from the keyboard, as a push button does.
void ImageButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        spaceHeld_ = true;
        return;
    }
    QWidget::keyPressEvent(event);
}

void ImageButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && spaceHeld_) {
        spaceHeld_ = false;
        emit clicked();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void ImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !window()->isActiveWindow()) {
        setHover(false);
    }
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QWidget::changeEvent(event);
}

}  // namespace lumivox
