#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/GuiThread.hpp"

namespace lumivox::platform {
namespace {

// One piece of work handed to the GUI thread. Its state moves once from
// waiting to started (the GUI thread takes it) or to refused (the calls ended).
struct Call {
    enum class State { Waiting, Started, Finished, Refused };
    State state = State::Waiting;
};

struct Calls {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;                       // no more work from other threads
    std::vector<std::shared_ptr<Call>> open;  // handed over, not finished yet
};

Calls& calls() {
    static Calls instance;
    return instance;
}

void setState(const std::shared_ptr<Call>& call, Call::State state) {
    Calls& all = calls();
    {
        std::lock_guard lock(all.mutex);
        call->state = state;
        if (state == Call::State::Finished) {
            std::erase(all.open, call);
        }
    }
    all.changed.notify_all();
}

// Each application object serves from its creation until its message loop
// returns or it is destroyed, whichever comes first.
void watchApplication() {
    QCoreApplication* app = QCoreApplication::instance();
    {
        std::lock_guard lock(calls().mutex);
        calls().ended = false;
    }
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
    Calls& all = calls();
    auto call = std::make_shared<Call>();
    {
        std::lock_guard lock(all.mutex);
        if (all.ended) {
            return false;
        }
        all.open.push_back(call);
    }
    // The hand-back goes through a mutex and condition rather than Qt's blocking
    // connection, so that the ordering is plain C++ and visible to ThreadSanitizer.
    // The work is only touched once started, and a started call is always waited
    // for, so the reference to it stays valid.
    const bool posted = QMetaObject::invokeMethod(
        app,
        [call, &work] {
            {
                std::lock_guard lock(calls().mutex);
                if (call->state != Call::State::Waiting) {
                    return;  // refused: the caller has gone on without it
                }
                call->state = Call::State::Started;
            }
            work();
            setState(call, Call::State::Finished);
        },
        Qt::QueuedConnection);
    std::unique_lock lock(all.mutex);
    if (!posted && call->state == Call::State::Waiting) {
        call->state = Call::State::Refused;
        std::erase(all.open, call);
    }
    all.changed.wait(lock, [&] {
        return call->state == Call::State::Finished || call->state == Call::State::Refused;
    });
    return call->state == Call::State::Finished;
}

void endGuiThreadCalls() {
    Calls& all = calls();
    {
        std::lock_guard lock(all.mutex);
        all.ended = true;
        // Work already running finishes and is waited for; the rest is refused.
        std::erase_if(all.open, [](const std::shared_ptr<Call>& call) {
            if (call->state != Call::State::Waiting) {
                return false;
            }
            call->state = Call::State::Refused;
            return true;
        });
    }
    all.changed.notify_all();
}

}  // namespace lumivox::platform
