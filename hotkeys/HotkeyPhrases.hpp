#pragma once
// The hotkey page: switching F1 to F12 on and off, and sending phrase k when
// F(k) fires. GUI thread only.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "base/Types.hpp"
#include "hotkeys/HotkeyService.hpp"
#include "platform/KeyInjection.hpp"
#include "platform/PasteClipboard.hpp"

namespace lumivox {

class Forms;
class Window;

inline constexpr int kHotkeyCount = 12;
inline constexpr int kFirstFunctionKey = 0x70;  // F1; F(k+1) is 0x70 + k
// Entry k: the identifier F(k+1) got when last registered, 0 when refused.
using HotkeySlots = std::array<std::int32_t, kHotkeyCount>;

// When the last Enter of a phrase goes out: after the target has read the phrase
// from the clipboard, once it has had settleMs, or as long as it took to ask for
// the text if that was longer (a busy target inserts the text as slowly as it
// asked for it); boundMs after the Ctrl+V when it never reads.
// The host's clipboard comes back once no program has read the phrase for quietMs.
struct PasteTiming {
    int settleMs = 20;
    int boundMs = 600;
    int quietMs = 1500;
};

class HotkeyPhraseSender {
  public:
    HotkeyPhraseSender(HotkeyService& service, platform::KeyInjector& keys,
                       platform::PasteClipboard& clipboard, PasteTiming timing = {})
        : service_(service), keys_(keys), clipboard_(clipboard), timing_(timing) {}

    // Click of 保存配置按钮1: registers F1 to F12 (receiver 标签1), then says
    // which keys it got.
    void switchHotkeysOn(Window& window);
    // Click of 保存配置按钮2: removes the twelve entries, then says so.
    void switchHotkeysOff(Window& window);
    // Notification of 标签1: phrase k onto the clipboard, then Enter, Ctrl+V and,
    // once the target has read the phrase, Enter; the host's clipboard back after.
    // A hotkey that fires while a phrase is on its way waits for it.
    void sendHotkeyPhrase(Window& window, std::int32_t identifier);
    // Phrase k (0 to 11) as F(k+1) sends it, switched on or not (an action from
    // outside, `lumivox --phrase k+1`).
    void sendPhrase(Window& window, int k);

    // An update hands F1 to F12 to its new build: they are let go without a word
    // (the switch is then off), and taken back, silently too, when the new
    // build could not be started.
    void letGoOfHotkeys();
    void takeHotkeysBack(Window& window);

    const HotkeySlots& hotkeySlots() const { return slots_; }
    // A phrase is on its way or waiting.
    bool sending() const { return sending_ || !waiting_.empty(); }

  private:
    struct Press {
        Forms* forms;
        std::string layout;
        int key;  // 0 for F1
        Text phrase;
    };
    void sendNext();
    void phraseRead(std::uint64_t turn);
    void finishPhrase(std::uint64_t turn);
    void giveBackWhenQuiet();
    void tellHostUnsent(const Press& press);

    HotkeyService& service_;
    platform::KeyInjector& keys_;
    platform::PasteClipboard& clipboard_;
    PasteTiming timing_;
    HotkeySlots slots_{};
    bool on_ = false;           // switched on and not off since
    bool handedOver_ = false;   // let go of for an update while on
    bool hintChanged_ = false;  // the hint line tells of a phrase not sent
    std::deque<Press> waiting_;
    bool sending_ = false;
    bool read_ = false;            // the phrase on its way has been read
    std::chrono::steady_clock::time_point pastedAt_;  // its Ctrl+V
    std::uint64_t turn_ = 0;       // the phrase on its way; timers of older ones do nothing
    std::uint64_t quietTurn_ = 0;  // bumped by every read: older give-backs wait on
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // timers outliving this do nothing
};

// The program's page over the process's hotkey service and the system's keys
// and clipboard.
HotkeyPhraseSender& hotkeyPhraseSender();

}  // namespace lumivox
