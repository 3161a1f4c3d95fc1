#pragma once
// The GUI runtime's hotkey service: registers system-wide hotkeys and turns a
// fired hotkey into the notification event of a receiver label, on the GUI
// thread. One per process; every call on the GUI thread.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/GlobalHotkeys.hpp"

namespace lumivox {

class Window;

// Identifiers are 33000 + the registration's sequence number: the first is 33001.
inline constexpr std::int32_t kFirstHotkeyIdentifier = 33001;

class HotkeyService {
  public:
    // What receives a fired hotkey: the identifier and 0, as a label's notification.
    using Receiver = std::function<void(std::int32_t identifier, std::int32_t zero)>;

    explicit HotkeyService(platform::GlobalHotkeys& platform) : platform_(platform) {}

    // Registers the virtual key with a modifier code (0 none, 1 Ctrl, 2 Shift,
    // 3 Ctrl+Shift, 4 Alt, 5 Ctrl+Alt, 6 Shift+Alt) and makes the label the
    // receiver of every hotkey. Returns the new identifier, or 0 when the platform
    // refused; a refused call uses up its identifier all the same.
    std::int32_t addGlobalHotkey(Window& window, std::string_view receiverLabel, int modifiers,
                                 int virtualKey);
    std::int32_t addGlobalHotkey(Receiver receiver, int modifiers, int virtualKey);
    // Several keys with one modifier code, registered with the platform at once;
    // an identifier (or 0) for each, as addGlobalHotkey gives it.
    std::vector<std::int32_t> addGlobalHotkeys(Window& window, std::string_view receiverLabel,
                                               int modifiers, const std::vector<int>& virtualKeys);
    // Unregisters the identifier; the result is whether the platform did, or,
    // when this removal brings the active count to 0, whether the hotkeys stopped
    // being reported.
    bool removeGlobalHotkey(std::int32_t identifier);

    std::int32_t activeCount() const { return activeCount_; }
    std::uint32_t sequence() const { return sequence_; }
    std::int32_t lastIdentifier() const { return lastIdentifier_; }
    bool listening() const { return listening_; }

    // The platform flags (MOD_ values) of a modifier code; other codes pass unchanged.
    static unsigned translateModifiers(int modifiers);

  private:
    static Receiver receiverOf(Window& window, std::string_view receiverLabel);
    std::vector<std::int32_t> add(Receiver receiver, int modifiers,
                                  const std::vector<int>& virtualKeys);
    void onHotkey(int identifier);

    platform::GlobalHotkeys& platform_;
    Receiver receiver_;
    bool listening_ = false;  // the counterpart of a replaced window procedure
    std::int32_t activeCount_ = 0;
    std::uint32_t sequence_ = 0;
    std::int32_t lastIdentifier_ = 0;
};

// The process's service over the system's hotkeys.
HotkeyService& hotkeyService();

}  // namespace lumivox
