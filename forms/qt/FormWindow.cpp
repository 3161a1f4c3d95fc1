#include "forms/qt/FormWindow.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>

#include "base/Encoding.hpp"
#include "forms/qt/Controls.hpp"
#include "forms/qt/FormRuntime.hpp"
#include "forms/qt/ImageButton.hpp"
#include "forms/qt/Pictures.hpp"
#include "forms/qt/TransparentLabel.hpp"

namespace lumivox {
namespace {

using layout::Kind;

QString fromGbk(const Text& text) {
    return QString::fromStdString(gbkToUtf8(text));
}

Text toGbk(const QString& text) {
    return utf8ToGbk(text.toStdString());
}

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// The layout's face first; the CJK face of the machine where it is missing.
QFont fontFor(const layout::Font& spec) {
    QFont font = QApplication::font();
    if (spec.face == nullptr) {
        return font;
    }
    QStringList families{QString::fromUtf8(spec.face)};
    families += font.families();
    font.setFamilies(families);
    font.setPixelSize(spec.heightPx);
    font.setBold(spec.bold);
    font.setUnderline(spec.underline);
    return font;
}

template <typename T>
T* at(const std::vector<T*>& items, int order) {
    return order >= 0 && static_cast<size_t>(order) < items.size()
               ? items[static_cast<size_t>(order)]
               : nullptr;
}

template <typename T>
void put(std::vector<T*>& items, int order, T* item) {
    if (items.size() <= static_cast<size_t>(order)) {
        items.resize(static_cast<size_t>(order) + 1, nullptr);
    }
    items[static_cast<size_t>(order)] = item;
}

}  // namespace

FormWindow::FormWindow(FormRuntime& runtime, const layout::WindowLayout& layout)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      FormCore(runtime, layout, runtime.wiring()),
      runtime_(runtime) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(fromUtf8(layout.name));
    setWindowTitle(fromUtf8(layout.title));
    setFixedSize(layout.clientWidth, layout.clientHeight);
    if (layout.icon != nullptr) {
        setWindowIcon(embeddedIcon(layout.icon));
    }
    if (layout.background != layout::kDefaultColour) {
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, toQColor(layout.background));
        setPalette(palette);
        setAutoFillBackground(true);
    }
}

FormWindow::~FormWindow() {
    runtime_.forget(this);
}

QWidget* FormWindow::parentOf(const layout::Control& spec) const {
    return spec.parent.empty() ? const_cast<FormWindow*>(this)
                               : at(widgets_, widgetOrder(spec.parent, true));
}

bool FormWindow::makeNative(const layout::Control& spec, int order) {
    if (spec.kind == Kind::Timer) {
        auto* timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, order] { timerFired(order); });
        put(timers_, order, timer);
        return true;
    }
    QWidget* widget = makeWidget(spec, parentOf(spec));
    if (widget == nullptr) {
        return false;
    }
    keep(order, widget, spec);
    return true;
}

QWidget* FormWindow::makeWidget(const layout::Control& spec, QWidget* parent) {
    const QString caption = fromUtf8(spec.caption);
    const std::string name = spec.name;
    switch (spec.kind) {
        case Kind::PictureBox: {
            QImage picture;
            if (!spec.caption.empty()) {
                picture = embeddedPicture(spec.caption, QSize(spec.width, spec.height));
                if (picture.isNull()) {
                    return nullptr;
                }
            }
            return new PictureBox(picture, parent);
        }
        case Kind::ImageButton: {
            for (const char* asset : {spec.button.pictureOut, spec.button.pictureIn}) {
                if (asset != nullptr && embeddedPicture(asset).isNull()) {
                    return nullptr;
                }
            }
            auto* button = new ImageButton(spec.button, parent);
            button->setCaption(caption);
            connect(button, &ImageButton::clicked, this,
                    [this, name] { dispatch({.kind = EventKind::Clicked, .control = name}); });
            return button;
        }
        case Kind::TransparentLabel: {
            auto* label = new TransparentLabel(spec.label, parent);
            label->setCaption(caption);
            connect(label, &TransparentLabel::leftButtonDown, this,
                    [this, name](int x, int y, int keyState) {
                        dispatch({.kind = EventKind::LeftButtonDown,
                                  .control = name,
                                  .x = x,
                                  .y = y,
                                  .keyState = keyState});
                    });
            return label;
        }
        case Kind::EditBox:
            return new SingleLineEditBox(parent);
        case Kind::MultiLineEditBox:
            return new MultiLineEditBox(parent);
        case Kind::Label:
            return new QLabel(caption, parent);
        case Kind::GroupBox:
            return new QGroupBox(caption, parent);
        case Kind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setValue(0);
            return bar;
        }
        case Kind::StatusBar:
            return new StatusBar(spec.parts, spec.partWidth, parent);
        case Kind::Timer:
        case Kind::OpenFileDialog:
            break;
    }
    return nullptr;
}

void FormWindow::keep(int order, QWidget* widget, const layout::Control& spec) {
    widget->setObjectName(fromUtf8(spec.name));
    widget->setGeometry(spec.left, spec.top, spec.width, spec.height);
    widget->setFont(fontFor(spec.font));
    widget->setVisible(spec.visible);
    put(widgets_, order, widget);
}

bool FormWindow::makeNativeStore(const layout::Control& spec, int order,
                                 const Neighbours& neighbours) {
    QWidget* parent = parentOf(spec);
    if (parent == nullptr) {
        return false;
    }
    QWidget* box = makeWidget(spec, parent);
    keep(order, box, spec);
    // Below the sibling made after it, and after the widget made before it in
    // the Tab order, as if it had been made with the others.
    if (QWidget* next = at(widgets_, neighbours.nextSibling)) {
        box->stackUnder(next);
    }
    if (QWidget* previous = at(widgets_, neighbours.previous)) {
        QWidget::setTabOrder(previous, box);
    }
    return true;
}

QWidget* FormWindow::controlWidget(std::string_view name) const {
    return at(widgets_, widgetOrder(name, true));
}

QTimer* FormWindow::controlTimer(std::string_view name) const {
    return at(timers_, orderOf(name, Kind::Timer));
}

bool FormWindow::nativeShown(int order) const {
    QWidget* widget = at(widgets_, order);
    return widget != nullptr && !widget->isHidden();
}

void FormWindow::showNative(int order, bool shown) {
    if (QWidget* widget = at(widgets_, order)) {
        widget->setVisible(shown);
    }
}

void FormWindow::showCaption(int order, Kind kind, const Text& caption) {
    QWidget* widget = at(widgets_, order);
    const QString shown = fromGbk(caption);
    switch (kind) {
        case Kind::ImageButton:
            static_cast<ImageButton*>(widget)->setCaption(shown);
            break;
        case Kind::TransparentLabel:
            static_cast<TransparentLabel*>(widget)->setCaption(shown);
            break;
        case Kind::Label:
            static_cast<QLabel*>(widget)->setText(shown);
            break;
        case Kind::GroupBox:
            static_cast<QGroupBox*>(widget)->setTitle(shown);
            break;
        default:
            break;
    }
}

void FormWindow::showEditText(int order, const Text& text) {
    editBoxOf(at(widgets_, order))->showWritten(text);
}

std::optional<Text> FormWindow::hostEditText(int order) const {
    return editBoxOf(at(widgets_, order))->hostText();
}

void FormWindow::scrollEditToEnd(int order) {
    editBoxOf(at(widgets_, order))->moveCaretToEnd();
}

void FormWindow::startControlTimer(int order, int periodMs) {
    at(timers_, order)->start(periodMs);
}

void FormWindow::stopControlTimer(int order) {
    at(timers_, order)->stop();
}

void FormWindow::showPosition(int order, int position) {
    static_cast<QProgressBar*>(at(widgets_, order))->setValue(position);
}

void FormWindow::showStatusText(int order, int part, const Text& text) {
    static_cast<StatusBar*>(at(widgets_, order))->setPartText(part, fromGbk(text));
}

void FormWindow::showPixels(int order, int width, int height,
                            const std::vector<std::uint32_t>& pixels) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = 0xFF000000u | pixels[static_cast<std::size_t>(y * width + x)];
        }
    }
    static_cast<PictureBox*>(at(widgets_, order))->setPixels(image);
}

std::optional<Text> FormWindow::chooseFile(std::string_view dialog, const Text& initial) {
    // Qt's own dialog: the same on every desktop, and scriptable in tests. The
    // chosen file must exist; the process's current folder is left as it was.
    QFileDialog chooser(this);
    chooser.setObjectName(QString::fromUtf8(dialog.data(), static_cast<qsizetype>(dialog.size())));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    if (!initial.empty()) {
        chooser.selectFile(fromGbk(initial));
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return toGbk(chooser.selectedFiles().front());
}

int FormWindow::left() const {
    return frameGeometry().x();
}

int FormWindow::top() const {
    return frameGeometry().y();
}

void FormWindow::move(int left, int top) {
    QWidget::move(left, top);
}

void FormWindow::resizeClient(int width, int height) {
    setFixedSize(width, height);
}

void FormWindow::requestClose() {
    QWidget::close();
}

bool FormWindow::formEnabled() const {
    return isEnabled();
}

void FormWindow::enableForm(bool enabled) {
    setEnabled(enabled);
}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (acceptClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace lumivox
