#include "forms/qt/Controls.hpp"

#include <limits>

#include <QPainter>

#include "base/Encoding.hpp"

namespace lumivox {

namespace {

QString fromGbk(const Text& text) {
    return QString::fromStdString(gbkToUtf8(text));
}

Text toGbk(const QString& text) {
    return utf8ToGbk(text.toStdString());
}

// Black text on white whatever the window's colours.
void useEditColours(QWidget& box) {
    QPalette palette = box.palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    box.setPalette(palette);
}

}  // namespace

void EditBox::showWritten(const Text& text) {
    edited_ = false;
    writing_ = true;
    show(fromGbk(text));
    writing_ = false;
}

std::optional<Text> EditBox::hostText() const {
    return edited_ ? std::optional<Text>(toGbk(shownText())) : std::nullopt;
}

SingleLineEditBox::SingleLineEditBox(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(std::numeric_limits<int>::max());  // no length limit
    useEditColours(*this);
    connect(this, &QLineEdit::textEdited, this, [this] { hostChanged(); });
}

QString SingleLineEditBox::shownText() const {
    return QLineEdit::text();
}

void SingleLineEditBox::show(const QString& text) {
    QLineEdit::setText(text);
}

void SingleLineEditBox::moveCaretToEnd() {
    end(false);
}

MultiLineEditBox::MultiLineEditBox(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);  // Tab moves the focus; Enter is a line break
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    useEditColours(*this);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!writing_) {
            hostChanged();
        }
    });
}

QString MultiLineEditBox::shownText() const {
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void MultiLineEditBox::show(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(lines);
}

void MultiLineEditBox::moveCaretToEnd() {
    QTextCursor caret = textCursor();
    caret.movePosition(QTextCursor::End);
    setTextCursor(caret);
    ensureCursorVisible();
}

PictureBox::PictureBox(const QImage& picture, QWidget* parent)
    : QWidget(parent), picture_(picture) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPixels(const QImage& pixels) {
    picture_ = pixels;
    sharp_ = true;
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!picture_.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !sharp_);
        painter.drawImage(rect(), picture_);
    }
}

StatusBar::StatusBar(int parts, int partWidth, QWidget* parent)
    : QWidget(parent),
      partWidth_(partWidth),
      texts_(static_cast<std::size_t>(parts > 0 ? parts : 1)) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
}

QString StatusBar::partText(int part) const {
    if (part < 0 || static_cast<std::size_t>(part) >= texts_.size()) {
        return {};
    }
    return texts_[static_cast<std::size_t>(part)];
}

void StatusBar::setPartText(int part, const QString& text) {
    if (part < 0 || static_cast<std::size_t>(part) >= texts_.size()) {
        return;
    }
    texts_[static_cast<std::size_t>(part)] = text;
    update();
}

void StatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    for (std::size_t part = 0; part < texts_.size(); ++part) {
        const bool last = part + 1 == texts_.size();
        const int left = static_cast<int>(part) * partWidth_;
        QRect cell(left, 0, last ? width() - left : partWidth_, height());
        painter.setPen(QColor(0xA0, 0xA0, 0xA0));
        painter.drawRect(cell.adjusted(0, 1, -2, -1));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(cell.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         texts_[part]);
    }
}

}  // namespace lumivox
