#include "hotkeys/HotkeyPhrases.hpp"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Encoding.hpp"
#include "forms/Window.hpp"
#include "hotkeys/SimulateKeys.hpp"
#include "platform/GlobalHotkeys.hpp"
#include "platform/GuiThread.hpp"
#include "platform/PhrasePaste.hpp"
#include "platform/SystemOps.hpp"

namespace lumivox {
namespace {

constexpr std::string_view kReceiverLabel = "标签1";
// The hotkey page's hint line: where a phrase that could not be sent is reported,
// in view of the host and without taking the focus from the chat box.
constexpr std::string_view kHintLabel = "透明标签3";
constexpr std::string_view kHint = "【温馨提示】修改完成后请保存配置";
constexpr int kEnter = 13, kControl = 17, kKeyV = 86;

std::string phraseBox(int k) {
    return "快捷编辑框" + std::to_string(k + 1);
}

std::string keyName(int k) {
    return "F" + std::to_string(k + 1);
}

void tellHost(const std::string& message) {
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
    // All twelve at once: a desktop that asks the host to confirm new keys asks once.
    std::vector<int> keys;
    for (int k = 0; k < kHotkeyCount; ++k) {
        keys.push_back(kFirstFunctionKey + k);
    }
    const std::vector<std::int32_t> identifiers =
        service_.addGlobalHotkeys(window, kReceiverLabel, 0, keys);
    std::string refused;
    for (int k = 0; k < kHotkeyCount; ++k) {
        slots_[k] = identifiers[k];
        if (slots_[k] == 0) {
            refused += (refused.empty() ? "" : "、") + keyName(k);
        }
    }
    on_ = true;
    const bool desktopKeys = platform::desktopGlobalHotkeys() != nullptr;
    if (platform::desktopPhrasePaster() != nullptr && !desktopKeys) {
        // A Wayland desktop shows keys to no program but the focused one: the
        // desktop itself has to run the phrases for them.
        tellHost(
            "这个桌面（Wayland）不让程序自己接收F1-12！\n请在桌面的快捷键设置里把F1-F12绑定到命令"
            "“lumivox --phrase 1”到“lumivox --phrase 12”，按键即可发送指定数据。");
        return;
    }
    if (!service_.listening()) {
        tellHost("这里的桌面不允许程序使用全局快捷键，F1-12无法发送数据！");
    } else if (refused.empty()) {
        tellHost("快捷键开启成功！鼠标点击聊天框！按F1-12即可发送指定数据！");
    } else {
        std::string message = "快捷键" + refused +
                              "已被其他程序占用，按了不会发送数据！其余快捷键开启成功！鼠标点击聊天框！";
        if (desktopKeys) {
            // The desktop's shortcut service refused them: the host can still give
            // the phrases other keys in the desktop's own settings.
            message += "\n可在桌面的快捷键设置里给这些短语另绑按键，命令为“lumivox --phrase N”"
                       "（N为1-12，如F3对应“lumivox --phrase 3”）。";
        }
        tellHost(message);
    }
}

void HotkeyPhraseSender::switchHotkeysOff(Window&) {
    on_ = false;
    for (int k = 0; k < kHotkeyCount; ++k) {
        service_.removeGlobalHotkey(slots_[k]);  // the entry keeps its value
    }
    tellHost("快捷键关闭成功！谢谢使用！");
}

void HotkeyPhraseSender::letGoOfHotkeys() {
    if (!on_) {
        return;
    }
    on_ = false;
    handedOver_ = true;
    for (int k = 0; k < kHotkeyCount; ++k) {
        service_.removeGlobalHotkey(slots_[k]);
    }
}

void HotkeyPhraseSender::takeHotkeysBack(Window& window) {
    if (!handedOver_) {
        return;
    }
    handedOver_ = false;
    std::vector<int> keys;
    for (int k = 0; k < kHotkeyCount; ++k) {
        keys.push_back(kFirstFunctionKey + k);
    }
    const std::vector<std::int32_t> identifiers =
        service_.addGlobalHotkeys(window, kReceiverLabel, 0, keys);
    for (int k = 0; k < kHotkeyCount; ++k) {
        slots_[k] = identifiers[k];
    }
    on_ = true;
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
    // The phrase as it is at the press, edits unsaved included.
    waiting_.push_back(
        {&window.forms(), std::string(window.layoutName()), k, window.text(phraseBox(k))});
    if (!sending_) {
        sendNext();
    }
}

void HotkeyPhraseSender::sendNext() {
    while (!sending_ && !waiting_.empty()) {
        Press press = std::move(waiting_.front());
        waiting_.pop_front();
        const std::uint64_t turn = ++turn_;
        std::weak_ptr<int> alive = alive_;
        // Not one key unless the phrase is on the clipboard: a Ctrl+V would post
        // whatever the host copied last into the live chat.
        if (!clipboard_.offerText(gbkToUtf8(press.phrase), [this, alive, turn] {
                if (alive.lock()) {
                    phraseRead(turn);
                }
            })) {
            tellHostUnsent(press);
            continue;
        }
        if (Window* window = press.forms->openWindow(press.layout); window && hintChanged_) {
            window->setCaption(kHintLabel, Text(utf8ToGbk(kHint)));
            hintChanged_ = false;
        }
        sending_ = true;
        read_ = false;
        ++quietTurn_;  // a give-back still to come waits for this phrase
        simulateKeys(keys_, kEnter);
        simulateKeys(keys_, kControl, kKeyV);
        pastedAt_ = std::chrono::steady_clock::now();
        // Some toolkits (GTK, Tk) ask for the text and go on handling keys while
        // they wait: the last Enter goes out once the target has read the phrase,
        // from the event loop, which is also where the clipboard answers it.
        platform::runOnGuiThreadLater(timing_.boundMs, [this, alive, turn] {
            if (alive.lock()) {
                finishPhrase(turn);
            }
        });
    }
}

void HotkeyPhraseSender::phraseRead(std::uint64_t turn) {
    std::weak_ptr<int> alive = alive_;
    if (turn == turn_ && sending_ && !read_) {
        read_ = true;
        // The settle time lets the target put the answer into its box; a target
        // slow to ask (a loaded machine) gets as long again.
        const auto asked = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - pastedAt_)
                               .count();
        const int settleMs = std::max<int>(
            timing_.settleMs, static_cast<int>(std::min<long long>(asked, timing_.boundMs)));
        platform::runOnGuiThreadLater(settleMs, [this, alive, turn] {
            if (alive.lock()) {
                finishPhrase(turn);
            }
        });
    }
    // Some targets read again (Firefox reads twice for one paste, the second
    // time up to a second later under load): every read puts the give-back off.
    ++quietTurn_;
    if (!sending_) {
        giveBackWhenQuiet();
    }
}

void HotkeyPhraseSender::finishPhrase(std::uint64_t turn) {
    if (turn != turn_ || !sending_) {
        return;  // finished already, by the read or by the bound
    }
    sending_ = false;
    simulateKeys(keys_, kEnter);
    // Never read: the phrase stays, so that a late paste still finds it rather
    // than what the host copied; a read after all gives the clipboard back then.
    if (read_) {
        giveBackWhenQuiet();
    }
    sendNext();
}

void HotkeyPhraseSender::giveBackWhenQuiet() {
    std::weak_ptr<int> alive = alive_;
    platform::runOnGuiThreadLater(timing_.quietMs, [this, alive, quiet = quietTurn_] {
        // Not after a later read, nor while another phrase is on the clipboard.
        if (alive.lock() && quiet == quietTurn_ && !sending_) {
            clipboard_.giveBack();
        }
    });
}

void HotkeyPhraseSender::tellHostUnsent(const Press& press) {
    if (Window* window = press.forms->openWindow(press.layout)) {
        window->setCaption(kHintLabel, Text(utf8ToGbk("剪贴板被其他程序占用，" +
                                                      keyName(press.key) + "的数据没有发送！")));
        hintChanged_ = true;
    }
}

HotkeyPhraseSender& hotkeyPhraseSender() {
    PasteTiming timing;
    // Tuning knob for measuring the latency trade of the settle time.
    if (const char* settle = std::getenv("LUMIVOX_PASTE_SETTLE_MS")) {
        timing.settleMs = std::atoi(settle);
    }
    static HotkeyPhraseSender sender(hotkeyService(), platform::systemKeyInjector(),
                                     platform::systemPasteClipboard(), timing);
    return sender;
}

}  // namespace lumivox
