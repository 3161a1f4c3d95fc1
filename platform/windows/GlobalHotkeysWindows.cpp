// System-wide hotkeys on RegisterHotKey. The registrations belong to a
// message-only window of the GUI thread; its message loop delivers WM_HOTKEY
// to the window, which hands the identifier to the listener.
#include <windows.h>

#include <algorithm>
#include <set>
#include <vector>

#include "platform/GlobalHotkeys.hpp"
#include "platform/windows/HelperWindow.hpp"

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
        auto* self = reinterpret_cast<WindowsHotkeys*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_HOTKEY) {
            // MOD_NOREPEAT is not honoured everywhere (Wine reports every
            // repeat): a key already down is a repeat, whatever the system says.
            const auto key = static_cast<int>(HIWORD(lParam));
            if (self != nullptr &&
                std::find(self->held_.begin(), self->held_.end(), key) == self->held_.end()) {
                // A key up again already (a quick tap) repeats nothing.
                if ((GetAsyncKeyState(key) & 0x8000) != 0) {
                    self->held_.push_back(key);
                    SetTimer(window, kReleaseTimer, kReleasePollMs, nullptr);
                }
                if (self->listener_) {
                    HotkeyListener listener = self->listener_;
                    listener(static_cast<int>(wParam));
                }
            }
            return 0;
        }
        if (message == WM_TIMER && wParam == kReleaseTimer && self != nullptr) {
            std::erase_if(self->held_,
                          [](int key) { return (GetAsyncKeyState(key) & 0x8000) == 0; });
            if (self->held_.empty()) {
                KillTimer(window, kReleaseTimer);
            }
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    // Made on first use, on the thread that uses it (the GUI thread).
    HWND window() {
        if (window_ == nullptr) {
            window_ = makeHelperWindow(L"LumivoxHotkeys", &windowProcedure, this, HWND_MESSAGE);
        }
        return window_;
    }

    static constexpr UINT_PTR kReleaseTimer = 1;
    static constexpr UINT kReleasePollMs = 25;

    HWND window_ = nullptr;
    std::vector<int> held_;  // hotkeys down and not yet seen released
    std::set<int> registered_;
    HotkeyListener listener_;
};

}  // namespace

GlobalHotkeys& systemGlobalHotkeys() {
    static WindowsHotkeys hotkeys;
    return hotkeys;
}

}  // namespace lumivox::platform
