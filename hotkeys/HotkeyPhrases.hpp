#pragma once
// The hotkey page: switching F1 to F12 on and off, and sending phrase k when
// F(k) fires. GUI thread only.
#include <array>
#include <cstdint>

#include "hotkeys/HotkeyService.hpp"
#include "platform/KeyInjection.hpp"

namespace lumivox {

class Window;

inline constexpr int kHotkeyCount = 12;
inline constexpr int kFirstFunctionKey = 0x70;  // F1; F(k+1) is 0x70 + k
// Entry k: the identifier F(k+1) got when last registered, 0 when refused.
using HotkeySlots = std::array<std::int32_t, kHotkeyCount>;

class HotkeyPhraseSender {
  public:
    HotkeyPhraseSender(HotkeyService& service, platform::KeyInjector& keys)
        : service_(service), keys_(keys) {}

    // Click of 保存配置按钮1: registers F1 to F12 (receiver 标签1), then says so.
    void switchHotkeysOn(Window& window);
    // Click of 保存配置按钮2: removes the twelve entries, then says so.
    void switchHotkeysOff(Window& window);
    // Notification of 标签1: Enter, phrase k on the clipboard, Ctrl+V, Enter.
    void sendHotkeyPhrase(Window& window, std::int32_t identifier);
    // Phrase k (0 to 11) as F(k+1) sends it, switched on or not (an action from
    // outside, `lumivox --phrase k+1`).
    void sendPhrase(Window& window, int k);

    const HotkeySlots& hotkeySlots() const { return slots_; }

  private:
    HotkeyService& service_;
    platform::KeyInjector& keys_;
    HotkeySlots slots_{};
    bool on_ = false;  // switched on and not off since
};

// The program's page over the process's hotkey service and the system's keys.
HotkeyPhraseSender& hotkeyPhraseSender();

}  // namespace lumivox
