#include "shell/TransparentLabel.hpp"

#include <QMouseEvent>
#include <QPainter>

#include "shell/EventWiring.hpp"
#include "shell/ImageButton.hpp"

namespace lumivox {

TransparentLabel::TransparentLabel(const layout::LabelLook& look, QWidget* parent)
    : QWidget(parent), look_(look) {
    setCursor(look.handCursor ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TransparentLabel::setCaption(const QString& caption) {
    caption_ = caption;
    setWindowTitle(caption);  // a transparent label's caption is also its window text
    update();
}

void TransparentLabel::paintEvent(QPaintEvent*) {
    if (caption_.isEmpty()) {
        return;
    }
    int flags = 0;
    switch (look_.align) {
        case layout::HAlign::Left: flags |= Qt::AlignLeft; break;
        case layout::HAlign::Centre: flags |= Qt::AlignHCenter; break;
        case layout::HAlign::Right: flags |= Qt::AlignRight; break;
    }
    if (look_.wordWrap) {
        flags |= Qt::TextWordWrap | Qt::AlignTop;
    } else {
        flags |= Qt::TextSingleLine;
        switch (look_.valign) {
            case layout::VAlign::Top: flags |= Qt::AlignTop; break;
            case layout::VAlign::Centre: flags |= Qt::AlignVCenter; break;
            case layout::VAlign::Bottom: flags |= Qt::AlignBottom; break;
        }
    }
    QPainter painter(this);
    painter.setFont(font());
    const QRect area = rect();
    auto draw = [&](const QColor& colour, int dx, int dy) {
        painter.setPen(colour);
        painter.drawText(area.translated(dx, dy), flags, caption_);
    };
    const QColor colour = toQColor(look_.colour);
    switch (look_.effect) {
        case 1:
            draw(Qt::white, 1, 1);
            draw(colour, 0, 0);
            break;
        case 2:
            draw(Qt::white, 0, 0);
            draw(colour, 1, 1);
            break;
        case 3:
            draw(Qt::black, 2, 2);
            draw(colour, 0, 0);
            break;
        default:
            draw(colour, 0, 0);
            break;
    }
}

void TransparentLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const int keyState = (modifiers & Qt::ControlModifier ? kKeyStateCtrl : 0) |
                         (modifiers & Qt::ShiftModifier ? kKeyStateShift : 0) |
                         (modifiers & Qt::AltModifier ? kKeyStateAlt : 0);
    const QPoint at = event->position().toPoint();
    emit leftButtonDown(at.x(), at.y(), keyState);
}

}  // namespace lumivox
