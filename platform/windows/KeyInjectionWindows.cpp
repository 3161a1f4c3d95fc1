// Key injection with SendInput; characters to keys with the current thread's
// keyboard layout (VkKeyScanExW).
#include <windows.h>

#include "platform/KeyInjection.hpp"

namespace lumivox::platform {
namespace {

class WindowsKeyInjector final : public KeyInjector {
  public:
    bool injectKey(int virtualKey, bool down) override {
        if (virtualKey <= 0 || virtualKey > 0xFE) {
            return false;
        }
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(virtualKey);
        input.ki.wScan =
            static_cast<WORD>(MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC));
        input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        return SendInput(1, &input, sizeof input) == 1;
    }

    int virtualKeyForCharacter(char32_t character) override {
        if (character > 0xFFFF) {
            return -1;  // no key types a character beyond one UTF-16 unit
        }
        const SHORT scan = VkKeyScanExW(static_cast<WCHAR>(character), GetKeyboardLayout(0));
        // The low byte is the key; -1 in both bytes when no key types it.
        return LOBYTE(scan) == 0xFF ? -1 : LOBYTE(scan);
    }
};

}  // namespace

KeyInjector& systemKeyInjector() {
    static WindowsKeyInjector injector;
    return injector;
}

}  // namespace lumivox::platform
