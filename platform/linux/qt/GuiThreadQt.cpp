#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include "platform/GuiThread.hpp"
#include "platform/GuiThreadCalls.hpp"

namespace lumivox::platform {
namespace {

GuiThreadCalls& calls() {
    static GuiThreadCalls instance(true);
    return instance;
}

// Each application object serves from its creation until its message loop
// returns or it is destroyed, whichever comes first.
void watchApplication() {
    QCoreApplication* app = QCoreApplication::instance();
    calls().begin();
    QObject::connect(app, &QCoreApplication::aboutToQuit, endGuiThreadCalls);
    QObject::connect(app, &QObject::destroyed, endGuiThreadCalls);
}
Q_COREAPP_STARTUP_FUNCTION(watchApplication)

}  // namespace

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
    // The hand-back goes through GuiThreadCalls rather than Qt's blocking
    // connection, so that the ordering is plain C++ and visible to ThreadSanitizer.
    return calls().handOver(work, [app](const std::shared_ptr<GuiThreadCall>& call) {
        return QMetaObject::invokeMethod(
            app, [call] { calls().run(call); }, Qt::QueuedConnection);
    });
}

void endGuiThreadCalls() {
    calls().end();
}

void runOnGuiThreadLater(int delayMs, std::function<void()> work) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QTimer::singleShot(delayMs, Qt::PreciseTimer, app, std::move(work));
    }
}

}  // namespace lumivox::platform
