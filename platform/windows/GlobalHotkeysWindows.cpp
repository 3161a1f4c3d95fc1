// System-wide hotkeys on RegisterHotKey. The registrations belong to a
// message-only window of the GUI thread; its message loop delivers WM_HOTKEY
// to the window, which hands the identifier to the listener.
#include <windows.h>

#include <set>

#include "platform/GlobalHotkeys.hpp"

namespace lumivox::platform {
namespace {

// MOD_NOREPEAT (Windows 7 on), spelled out for headers that lack it.
constexpr UINT kNoRepeat = 0x4000;

class WindowsHotkeys final : public GlobalHotkeys {
  public:
    bool registerHotkey(int identifier, unsigned modifierFlags, int virtualKey) override {
        if (window() == nullptr || registered_.count(identifier) != 0 ||
            // MOD_NOREPEAT: a held key fires once, not once per auto-repeat.
            !RegisterHotKey(window(), identifier, modifierFlags | kNoRepeat,
                            static_cast<UINT>(virtualKey))) {
            return false;
        }
        registered_.insert(identifier);
        return true;
    }

    bool unregisterHotkey(int identifier) override {
        if (registered_.erase(identifier) == 0) {
            return false;
        }
        UnregisterHotKey(window(), identifier);
        return true;
    }

    bool startListening(HotkeyListener listener) override {
        if (window() == nullptr) {
            return false;
        }
        listener_ = std::move(listener);
        return true;
    }

    bool stopListening() override {
        if (!listener_) {
            return false;
        }
        listener_ = nullptr;
        return true;
    }

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
        if (message == WM_HOTKEY) {
            auto* self =
                reinterpret_cast<WindowsHotkeys*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self != nullptr && self->listener_) {
                self->listener_(static_cast<int>(wParam));
            }
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    // Made on first use, on the thread that uses it (the GUI thread).
    HWND window() {
        if (window_ == nullptr) {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = &windowProcedure;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"LumivoxHotkeys";
            RegisterClassW(&windowClass);
            window_ = CreateWindowExW(0, L"LumivoxHotkeys", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, windowClass.hInstance, nullptr);
            if (window_ != nullptr) {
                SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            }
        }
        return window_;
    }

    HWND window_ = nullptr;
    std::set<int> registered_;
    HotkeyListener listener_;
};

}  // namespace

GlobalHotkeys& systemGlobalHotkeys() {
    static WindowsHotkeys hotkeys;
    return hotkeys;
}

}  // namespace lumivox::platform
