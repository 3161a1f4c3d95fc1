#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

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
    return QMetaObject::invokeMethod(app, [&work] { work(); }, Qt::BlockingQueuedConnection);
}

}  // namespace lumivox::platform
