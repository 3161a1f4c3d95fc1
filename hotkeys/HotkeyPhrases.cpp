#include "hotkeys/HotkeyPhrases.hpp"

#include <string>

#include "base/Encoding.hpp"
#include "forms/Window.hpp"
#include "hotkeys/SimulateKeys.hpp"
#include "platform/PhrasePaste.hpp"
#include "platform/SystemOps.hpp"

namespace lumivox {
namespace {

constexpr std::string_view kReceiverLabel = "标签1";
constexpr int kEnter = 13, kControl = 17, kKeyV = 86;

std::string phraseBox(int k) {
    return "快捷编辑框" + std::to_string(k + 1);
}

void tellHost(const char* message) {
    showMessageBox(utf8ToGbk(message), kMessageBoxOk, utf8ToGbk("温馨提示："));
}

}  // namespace

void HotkeyPhraseSender::switchHotkeysOn(Window& window) {
    // Switched on already: the twelve registrations are given back first, or each
    // key would stay held under an identifier that no entry keeps, out of reach of
    // the switch-off (and the active count would never come back to 0).
    if (on_) {
        for (int k = 0; k < kHotkeyCount; ++k) {
            service_.removeGlobalHotkey(slots_[k]);
        }
    }
    for (int k = 0; k < kHotkeyCount; ++k) {
        slots_[k] = service_.addGlobalHotkey(window, kReceiverLabel, 0, kFirstFunctionKey + k);
    }
    on_ = true;
    if (platform::desktopPhrasePaster() != nullptr) {
        // A Wayland desktop shows keys to no program but the focused one: the
        // desktop itself has to run the phrases for them.
        tellHost("这个桌面（Wayland）不让程序自己接收F1-12！\n请在桌面的快捷键设置里把F1-F12绑定到命令"
                 "“lumivox --phrase 1”到“lumivox --phrase 12”，按键即可发送指定数据。");
        return;
    }
    tellHost("快捷键开启成功！鼠标点击聊天框！按F1-12即可发送指定数据！");
}

void HotkeyPhraseSender::switchHotkeysOff(Window&) {
    on_ = false;
    for (int k = 0; k < kHotkeyCount; ++k) {
        service_.removeGlobalHotkey(slots_[k]);  // the entry keeps its value
    }
    tellHost("快捷键关闭成功！谢谢使用！");
}

void HotkeyPhraseSender::sendHotkeyPhrase(Window& window, std::int32_t identifier) {
    for (int k = 0; k < kHotkeyCount; ++k) {
        if (identifier != 0 && slots_[k] == identifier) {
            sendPhrase(window, k);
            return;
        }
    }
}

void HotkeyPhraseSender::sendPhrase(Window& window, int k) {
    if (k < 0 || k >= kHotkeyCount) {
        return;
    }
    // A Wayland desktop: the phrase goes through its own clipboard and keyboard.
    if (platform::PhrasePaster* paster = platform::desktopPhrasePaster()) {
        paster->pastePhrase(gbkToUtf8(window.text(phraseBox(k))));
        return;
    }
    // No pause between the steps: the clipboard holds the phrase before the
    // Ctrl+V is queued, and the target takes the keys in order.
    simulateKeys(keys_, kEnter);
    setClipboardText(window.text(phraseBox(k)));
    simulateKeys(keys_, kControl, kKeyV);
    simulateKeys(keys_, kEnter);
}

HotkeyPhraseSender& hotkeyPhraseSender() {
    static HotkeyPhraseSender sender(hotkeyService(), platform::systemKeyInjector());
    return sender;
}

}  // namespace lumivox
