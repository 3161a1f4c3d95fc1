#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <future>

#include "platform/GuiThread.hpp"

namespace lumivox::platform {

bool isGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

bool runOnGuiThread(const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    if (QThread::currentThread() == app->thread()) {
        work();
        return true;
    }
    // The caller waits until the GUI thread has run the work in its event loop.
    // The hand-back goes through a promise rather than Qt's blocking connection,
    // so that the ordering is plain C++ and visible to ThreadSanitizer.
    std::promise<void> done;
    if (!QMetaObject::invokeMethod(
            app, [&work, &done] { work(); done.set_value(); }, Qt::QueuedConnection)) {
        return false;
    }
    done.get_future().wait();
    return true;
}

}  // namespace lumivox::platform
