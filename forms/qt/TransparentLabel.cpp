#include "forms/qt/TransparentLabel.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include "forms/Event.hpp"
#include "forms/qt/ImageButton.hpp"

namespace lumivox {
namespace {

// Breaks the caption at word boundaries (between CJK characters too) into lines
// `lineHeight` apart from the top, each aligned as the label says.
void layOutLines(QTextLayout& layout, int width, int lineHeight, layout::HAlign align) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (int top = 0;; top += lineHeight) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        double left = 0;
        if (align == layout::HAlign::Centre) {
            left = (width - line.naturalTextWidth()) / 2;
        } else if (align == layout::HAlign::Right) {
            left = width - line.naturalTextWidth();
        }
        // The glyphs' top sits at the line's top, whatever the face's leading.
        line.setPosition(QPointF(left, top - (line.ascent() + line.descent() - lineHeight) / 2));
    }
    layout.endLayout();
}

}  // namespace

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
        case layout::HAlign::Left:
            flags |= Qt::AlignLeft;
            break;
        case layout::HAlign::Centre:
            flags |= Qt::AlignHCenter;
            break;
        case layout::HAlign::Right:
            flags |= Qt::AlignRight;
            break;
    }
    if (look_.wordWrap) {
        flags |= Qt::TextWordWrap | Qt::AlignTop;
    } else {
        flags |= Qt::TextSingleLine;
        switch (look_.valign) {
            case layout::VAlign::Top:
                flags |= Qt::AlignTop;
                break;
            case layout::VAlign::Centre:
                flags |= Qt::AlignVCenter;
                break;
            case layout::VAlign::Bottom:
                flags |= Qt::AlignBottom;
                break;
        }
    }
    QPainter painter(this);
    painter.setFont(font());
    const QRect area = rect();
    const QTextLayout* wrapped = nullptr;
    QTextLayout lines(caption_, font());
    if (look_.wordWrap) {
        // Lines one character height apart, as the layouts were measured.
        layOutLines(lines, area.width(), QFontInfo(font()).pixelSize(), look_.align);
        wrapped = &lines;
    }
    auto draw = [&](const QColor& colour, int dx, int dy) {
        painter.setPen(colour);
        if (wrapped != nullptr) {
            wrapped->draw(&painter, QPointF(dx, dy));
        } else {
            painter.drawText(area.translated(dx, dy), flags, caption_);
        }
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
