#include "forms/qt/FormRuntime.hpp"

#include <vector>

#include <QApplication>
#include <QEventLoop>
#include <QFont>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>

#include "forms/qt/FormWindow.hpp"
#include "forms/qt/Pictures.hpp"

namespace lumivox {
namespace {

// Centres the outer window on its screen, frame included (without a window
// manager the frame is the client area itself).
void centre(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    const QSize outer = window.frameGeometry().size();
    window.move(area.x() + (area.width() - outer.width()) / 2,
                area.y() + (area.height() - outer.height()) / 2);
}

}  // namespace

void setUpApplicationLook() {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(12);
    QApplication::setFont(font);
    QApplication::setWindowIcon(programIcon());
}

FormRuntime::FormRuntime(std::function<const layout::WindowLayout*(std::string_view)> findLayout,
                         const std::vector<Binding>& wiring)
    : findLayout_(std::move(findLayout)), wiring_(wiring) {
    qApp->installEventFilter(this);
}

FormRuntime::~FormRuntime() {
    qApp->removeEventFilter(this);
    // Windows still open go with the runtime (they refer to it).
    while (!windows_.empty()) {
        delete windows_.back();
    }
}

FormWindow* FormRuntime::openForm(std::string_view layout) const {
    for (FormWindow* window : windows_) {
        if (window->layoutName() == layout && !window->closing()) {
            return window;
        }
    }
    return nullptr;
}

Window* FormRuntime::openWindow(std::string_view layout) {
    return openForm(layout);
}

void FormRuntime::forget(FormWindow* window) {
    std::erase(windows_, window);
}

bool FormRuntime::loadWindow(std::string_view layoutName, Window* parent, bool dialogMode) {
    if (FormWindow* open = openForm(layoutName)) {
        if (open->isMinimized()) {
            open->showNormal();
        } else {
            open->raise();
            open->activateWindow();
        }
        return true;
    }
    if (!dialogMode && parent != nullptr) {
        bool parentOpen = false;
        for (FormWindow* window : windows_) {
            parentOpen =
                parentOpen || (static_cast<Window*>(window) == parent && !window->closing());
        }
        if (!parentOpen) {
            return false;
        }
    }
    const layout::WindowLayout* layout = findLayout_(layoutName);
    if (layout == nullptr) {
        return false;
    }
    auto* window = new FormWindow(*this, *layout);
    if (!window->build()) {
        delete window;
        return false;
    }
    windows_.push_back(window);
    if (!dialogMode && parent != nullptr) {
        // A window opened from another closes with it, so that closing the main
        // window ends the program whatever else is open.
        for (FormWindow* owner : windows_) {
            if (static_cast<Window*>(owner) == parent) {
                connect(owner, &QObject::destroyed, window, [window] { window->close(); });
            }
        }
    }
    if (layout->centred) {
        centre(*window);
    }
    QPointer<FormWindow> alive(window);
    window->dispatch({.kind = EventKind::Created});
    if (!alive || window->closing()) {
        return true;
    }
    // In dialog mode every other window is disabled until this one closes.
    if (dialogMode) {
        std::vector<FormCore*> others;
        for (FormWindow* other : windows_) {
            if (other != window && !other->closing()) {
                others.push_back(other);
            }
        }
        window->disableOthersWhileOpen(others);
    }
    window->show();
    if (layout->centred && window->frameGeometry().size() != window->size()) {
        centre(*window);  // a window manager added its frame
    }
    if (dialogMode) {
        QEventLoop loop;
        connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool FormRuntime::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto held =
            key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (key->key() == Qt::Key_Escape && widget != nullptr) {
            auto* form = qobject_cast<FormWindow*>(widget->window());
            if (form != nullptr && form->escapePressed(held != Qt::NoModifier)) {
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace lumivox
