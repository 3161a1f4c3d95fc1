// The GUI thread on Windows: the thread that called serveGuiThreadCalls. Work
// from other threads is posted to a message-only window of that thread, so any
// of its message loops (a message box's or a dialog's too) runs it; the caller
// waits on a condition until it has run or has been refused.
#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/GuiThread.hpp"
#include "platform/windows/GuiThreadWindows.hpp"

namespace lumivox::platform {
namespace {

constexpr UINT kRunCall = WM_APP + 0x40;

// One piece of work handed to the GUI thread. Its state moves once from
// waiting to started (the GUI thread takes it) or to refused (the calls ended).
struct Call {
    enum class State { Waiting, Started, Finished, Refused };
    State state = State::Waiting;
    const std::function<void()>* work = nullptr;
};

struct Calls {
    std::mutex mutex;
    std::condition_variable changed;
    DWORD guiThread = 0;  // 0: no GUI
    HWND window = nullptr;
    bool ended = true;                        // no work taken from other threads
    std::vector<std::shared_ptr<Call>> open;  // handed over, not finished yet
};

Calls& calls() {
    static Calls instance;
    return instance;
}

void runCall(Call* raw) {
    Calls& all = calls();
    std::shared_ptr<Call> call;
    {
        std::lock_guard lock(all.mutex);
        for (const auto& held : all.open) {
            if (held.get() == raw) {
                call = held;
            }
        }
        if (call == nullptr || call->state != Call::State::Waiting) {
            return;  // refused: the caller has gone on without it
        }
        call->state = Call::State::Started;
    }
    // A started call is always waited for, so the work it refers to is alive.
    (*call->work)();
    {
        std::lock_guard lock(all.mutex);
        call->state = Call::State::Finished;
        std::erase(all.open, call);
    }
    all.changed.notify_all();
}

LRESULT CALLBACK callsProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunCall) {
        runCall(reinterpret_cast<Call*>(lParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool serveGuiThreadCalls() {
    Calls& all = calls();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &callsProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"LumivoxGuiThreadCalls";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return false;
    }
    std::lock_guard lock(all.mutex);
    all.guiThread = GetCurrentThreadId();
    all.window = window;
    all.ended = false;
    return true;
}

bool isGuiThread() {
    Calls& all = calls();
    std::lock_guard lock(all.mutex);
    return all.guiThread != 0 && all.guiThread == GetCurrentThreadId();
}

bool runOnGuiThread(const std::function<void()>& work) {
    Calls& all = calls();
    auto call = std::make_shared<Call>();
    call->work = &work;
    HWND window = nullptr;
    {
        std::lock_guard lock(all.mutex);
        if (all.guiThread == 0) {
            return false;
        }
        if (all.guiThread == GetCurrentThreadId()) {
            window = nullptr;
        } else {
            if (all.ended) {
                return false;
            }
            all.open.push_back(call);
            window = all.window;
        }
    }
    if (window == nullptr) {
        work();
        return true;
    }
    const bool posted = PostMessageW(window, kRunCall, 0, reinterpret_cast<LPARAM>(call.get()));
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
