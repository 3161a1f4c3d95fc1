// The GUI thread on Windows: the thread that called serveGuiThreadCalls. Work
// from other threads is posted to a message-only window of that thread, so any
// of its message loops (a message box's or a dialog's too) runs it.
#include <windows.h>

#include <atomic>
#include <map>

#include "platform/GuiThread.hpp"
#include "platform/GuiThreadCalls.hpp"
#include "platform/windows/GuiThreadWindows.hpp"

namespace lumivox::platform {
namespace {

constexpr UINT kRunCall = WM_APP + 0x40;

GuiThreadCalls& calls() {
    static GuiThreadCalls instance(false);  // no GUI until a thread declares itself
    return instance;
}

std::atomic<DWORD> guiThread{0};
std::atomic<HWND> callsWindow{nullptr};

// Work waiting for its timer on callsWindow, by timer number. GUI thread only.
std::map<UINT_PTR, std::function<void()>> laterWork;
UINT_PTR lastTimer = 0;

LRESULT CALLBACK callsProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunCall) {
        // The message owns one reference to the call.
        auto* call = reinterpret_cast<std::shared_ptr<GuiThreadCall>*>(lParam);
        calls().run(*call);
        delete call;
        return 0;
    }
    if (message == WM_TIMER) {
        KillTimer(window, wParam);
        auto entry = laterWork.find(wParam);
        if (entry != laterWork.end()) {
            std::function<void()> work = std::move(entry->second);
            laterWork.erase(entry);
            work();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool serveGuiThreadCalls() {
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
    callsWindow = window;
    guiThread = GetCurrentThreadId();
    calls().begin();
    return true;
}

bool isGuiThread() {
    const DWORD gui = guiThread;
    return gui != 0 && gui == GetCurrentThreadId();
}

bool runOnGuiThread(const std::function<void()>& work) {
    const DWORD gui = guiThread;
    if (gui == 0) {
        return false;
    }
    if (gui == GetCurrentThreadId()) {
        work();
        return true;
    }
    return calls().handOver(work, [](const std::shared_ptr<GuiThreadCall>& call) {
        auto* held = new std::shared_ptr<GuiThreadCall>(call);
        if (!PostMessageW(callsWindow, kRunCall, 0, reinterpret_cast<LPARAM>(held))) {
            delete held;
            return false;
        }
        return true;
    });
}

void endGuiThreadCalls() {
    calls().end();
}

void runOnGuiThreadLater(int delayMs, std::function<void()> work) {
    const HWND window = callsWindow;
    if (window == nullptr) {
        return;
    }
    const UINT_PTR timer = ++lastTimer;
    if (SetTimer(window, timer,
                 static_cast<UINT>(delayMs < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : delayMs),
                 nullptr) != 0) {
        laterWork[timer] = std::move(work);
    }
}

}  // namespace lumivox::platform
