#include "forms/qt/FormWindow.hpp"

#include <algorithm>

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

bool isEditBox(Kind kind) {
    return kind == Kind::EditBox || kind == Kind::MultiLineEditBox;
}

}  // namespace

FormWindow::FormWindow(FormRuntime& runtime, const layout::WindowLayout& layout)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      runtime_(runtime),
      layout_(layout) {
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

bool FormWindow::build() {
    for (const layout::Control& spec : layout::expandControls(layout_)) {
        if (!makeControl(spec)) {
            return false;
        }
    }
    return true;
}

bool FormWindow::makeControl(const layout::Control& spec) {
    QWidget* parent = this;
    if (!spec.parent.empty()) {
        auto found = controls_.find(spec.parent);
        parent = found == controls_.end() ? nullptr : widgetOf(found->second);
        if (parent == nullptr) {
            return false;
        }
    }
    Control control{.kind = spec.kind, .parent = spec.parent, .order = made_++};
    const QString caption = fromUtf8(spec.caption);
    switch (spec.kind) {
        case Kind::PictureBox: {
            QImage picture;
            if (!spec.caption.empty()) {
                picture = embeddedPicture(spec.caption, QSize(spec.width, spec.height));
                if (picture.isNull()) {
                    return false;
                }
            }
            control.widget = new PictureBox(picture, parent);
            break;
        }
        case Kind::ImageButton: {
            for (const char* asset : {spec.button.pictureOut, spec.button.pictureIn}) {
                if (asset != nullptr && embeddedPicture(asset).isNull()) {
                    return false;
                }
            }
            auto* button = new ImageButton(spec.button, parent);
            button->setCaption(caption);
            const std::string name = spec.name;
            connect(button, &ImageButton::clicked, this,
                    [this, name] { dispatch({.kind = EventKind::Clicked, .control = name}); });
            control.widget = button;
            break;
        }
        case Kind::TransparentLabel: {
            auto* label = new TransparentLabel(spec.label, parent);
            label->setCaption(caption);
            const std::string name = spec.name;
            connect(label, &TransparentLabel::leftButtonDown, this,
                    [this, name](int x, int y, int keyState) {
                        dispatch({.kind = EventKind::LeftButtonDown,
                                  .control = name,
                                  .x = x,
                                  .y = y,
                                  .keyState = keyState});
                    });
            control.widget = label;
            break;
        }
        case Kind::EditBox:
        case Kind::MultiLineEditBox:
            if (showsNothing(spec, parent)) {
                control.store = spec;
                control.storedText = utf8ToGbk(spec.caption);
            } else {
                control.widget = makeEditBox(spec, parent, utf8ToGbk(spec.caption));
            }
            break;
        case Kind::Label:
            control.widget = new QLabel(caption, parent);
            break;
        case Kind::GroupBox:
            control.widget = new QGroupBox(caption, parent);
            break;
        case Kind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setValue(0);
            control.widget = bar;
            break;
        }
        case Kind::StatusBar:
            control.widget = new StatusBar(spec.parts, spec.partWidth, parent);
            break;
        case Kind::Timer: {
            control.timer = new QTimer(this);
            control.timer->setTimerType(Qt::PreciseTimer);
            const std::string name = spec.name;
            connect(control.timer, &QTimer::timeout, this,
                    [this, name] { dispatch({.kind = EventKind::Tick, .control = name}); });
            break;
        }
        case Kind::OpenFileDialog:
            break;
    }
    if (control.widget != nullptr) {
        place(control.widget, spec);
    }
    auto [entry, added] = controls_.emplace(spec.name, control);
    if (!added) {
        return false;
    }
    if (spec.kind == Kind::Timer && spec.interval > 0) {
        setInterval(spec.name, spec.interval);  // a running timer starts at its creation
    }
    return true;
}

QWidget* FormWindow::makeEditBox(const layout::Control& spec, QWidget* parent, const Text& text) {
    QWidget* box = spec.kind == Kind::EditBox ? static_cast<QWidget*>(new SingleLineEditBox(parent))
                                              : static_cast<QWidget*>(new MultiLineEditBox(parent));
    editBoxOf(box)->setText(text);
    return box;
}

void FormWindow::place(QWidget* widget, const layout::Control& spec) const {
    widget->setObjectName(fromUtf8(spec.name));
    widget->setGeometry(spec.left, spec.top, spec.width, spec.height);
    widget->setFont(fontFor(spec.font));
    widget->setVisible(spec.visible);
}

const FormWindow::Control* FormWindow::find(std::string_view name, Kind kind) const {
    auto found = controls_.find(name);
    if (found == controls_.end()) {
        return nullptr;
    }
    const Kind have = found->second.kind;
    return have == kind || (isEditBox(kind) && isEditBox(have)) ? &found->second : nullptr;
}

FormWindow::Control* FormWindow::find(std::string_view name, Kind kind) {
    return const_cast<Control*>(std::as_const(*this).find(name, kind));
}

QTimer* FormWindow::controlTimer(std::string_view name) const {
    const Control* control = find(name, Kind::Timer);
    return control ? control->timer : nullptr;
}

void FormWindow::dispatch(Event event) {
    const Binding* binding =
        findBinding(runtime_.wiring(), layout_.name, event.control, event.kind, &event.number);
    if (binding != nullptr && binding->handler) {
        // The window stays alive while its handler runs: closing it only schedules
        // its destruction (WA_DeleteOnClose goes through deleteLater).
        binding->handler(*this, event);
    }
}

bool FormWindow::hasControl(std::string_view name) const {
    return controls_.find(name) != controls_.end();
}

Text FormWindow::caption(std::string_view name) const {
    QWidget* widget = controlWidget(name);
    if (auto* button = qobject_cast<ImageButton*>(widget)) {
        return toGbk(button->caption());
    }
    if (auto* label = qobject_cast<TransparentLabel*>(widget)) {
        return toGbk(label->caption());
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return toGbk(label->text());
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        return toGbk(group->title());
    }
    return {};
}

void FormWindow::setCaption(std::string_view name, const Text& caption) {
    QWidget* widget = controlWidget(name);
    const QString shown = fromGbk(caption);
    if (auto* button = qobject_cast<ImageButton*>(widget)) {
        button->setCaption(shown);
    } else if (auto* label = qobject_cast<TransparentLabel*>(widget)) {
        label->setCaption(shown);
    } else if (auto* plain = qobject_cast<QLabel*>(widget)) {
        plain->setText(shown);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(shown);
    }
}

int FormWindow::interval(std::string_view timer) const {
    const Control* control = find(timer, Kind::Timer);
    return control ? control->intervalMs : 0;
}

void FormWindow::setInterval(std::string_view timer, int intervalMs) {
    Control* control = find(timer, Kind::Timer);
    if (control == nullptr) {
        return;
    }
    control->intervalMs = intervalMs;
    if (intervalMs <= 0) {
        control->timer->stop();
    } else {
        control->timer->start(std::max(intervalMs, kMinimumTimerMs));
    }
}

int FormWindow::position(std::string_view progressBar) const {
    const Control* control = find(progressBar, Kind::ProgressBar);
    return control ? static_cast<QProgressBar*>(control->widget)->value() : 0;
}

void FormWindow::setPosition(std::string_view progressBar, int position) {
    if (Control* control = find(progressBar, Kind::ProgressBar)) {
        static_cast<QProgressBar*>(control->widget)->setValue(std::clamp(position, 0, 100));
    }
}

Text FormWindow::fileName(std::string_view dialog) const {
    const Control* control = find(dialog, Kind::OpenFileDialog);
    return control ? control->fileName : Text();
}

void FormWindow::setFileName(std::string_view dialog, const Text& fileName) {
    if (Control* control = find(dialog, Kind::OpenFileDialog)) {
        control->fileName = fileName;
    }
}

bool FormWindow::openFileDialog(std::string_view dialog) {
    Control* control = find(dialog, Kind::OpenFileDialog);
    if (control == nullptr) {
        return false;
    }
    // Qt's own dialog: the same on every desktop, and scriptable in tests. The
    // chosen file must exist; the process's current folder is left as it was.
    QFileDialog chooser(this);
    chooser.setObjectName(QString::fromUtf8(dialog.data(), static_cast<qsizetype>(dialog.size())));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    if (!control->fileName.empty()) {
        chooser.selectFile(fromGbk(control->fileName));
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return false;
    }
    control = find(dialog, Kind::OpenFileDialog);  // the window may have changed meanwhile
    if (control == nullptr) {
        return false;
    }
    control->fileName = toGbk(chooser.selectedFiles().front());
    return true;
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

void FormWindow::resize(int width, int height) {
    setFixedSize(width, height);
    makeEveryStoreWidget();  // a larger window may bring a store into view
}

Text FormWindow::statusText(std::string_view statusBar, int part) const {
    const Control* control = find(statusBar, Kind::StatusBar);
    return control ? toGbk(static_cast<StatusBar*>(control->widget)->partText(part)) : Text();
}

void FormWindow::setStatusText(std::string_view statusBar, int part, const Text& text) {
    if (Control* control = find(statusBar, Kind::StatusBar)) {
        static_cast<StatusBar*>(control->widget)->setPartText(part, fromGbk(text));
    }
}

void FormWindow::raiseNotification(std::string_view label, std::int32_t first,
                                   std::int32_t second) {
    if (find(label, Kind::Label) != nullptr) {
        dispatch(
            {.kind = EventKind::Notification, .control = label, .first = first, .second = second});
    }
}

void FormWindow::close() {
    closingByProgram_ = true;
    QWidget::close();
    closingByProgram_ = false;
}

Forms& FormWindow::forms() {
    return runtime_;
}

void FormWindow::closeEvent(QCloseEvent* event) {
    // A window that a dialog disabled may have a handler waiting in the dialog's
    // nested loop: only the program itself may close it, never the window
    // manager (close button, Alt+F4), or the handler would go on with a window
    // that is gone.
    if (!isEnabled() && !closingByProgram_) {
        event->ignore();
        return;
    }
    // The close query has no handler: otherwise the close always goes ahead.
    closing_ = true;
    for (auto& [name, control] : controls_) {
        if (control.timer != nullptr) {
            control.timer->stop();
        }
    }
    event->accept();
}

}  // namespace lumivox
