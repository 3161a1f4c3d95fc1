#pragma once
// System-wide hotkeys: a key combination that fires wherever the keyboard focus
// is, reported to the program instead of the focused window.
#include <functional>
#include <vector>

namespace lumivox::platform {

// Modifier flags of a hotkey (the values of the Windows MOD_ flags).
inline constexpr unsigned kHotkeyAlt = 0x1;
inline constexpr unsigned kHotkeyControl = 0x2;
inline constexpr unsigned kHotkeyShift = 0x4;
inline constexpr unsigned kHotkeyWin = 0x8;

// Called on the GUI thread with the identifier of the hotkey that fired.
using HotkeyListener = std::function<void(int identifier)>;

// One hotkey of a registration: identifier, modifier flags, virtual-key code.
struct HotkeyRequest {
    int identifier;
    unsigned modifierFlags;
    int virtualKey;
};

// The platform's hotkey table. All calls on the GUI thread.
class GlobalHotkeys {
  public:
    virtual ~GlobalHotkeys() = default;
    // Registers several hotkeys at once; an answer for each, in order, as
    // `registerHotkey` gives it. A desktop that asks the host to confirm new keys
    // asks once for all of them.
    virtual std::vector<bool> registerHotkeys(const std::vector<HotkeyRequest>& requests) {
        std::vector<bool> taken;
        for (const HotkeyRequest& request : requests) {
            taken.push_back(
                registerHotkey(request.identifier, request.modifierFlags, request.virtualKey));
        }
        return taken;
    }
    // Registers the key (a virtual-key code) with exactly these modifiers under the
    // identifier. False when the platform refuses: another program holds the
    // combination, this program registered it already, the identifier is in use,
    // or there is no display to register on.
    virtual bool registerHotkey(int identifier, unsigned modifierFlags, int virtualKey) = 0;
    // False when the identifier is not registered.
    virtual bool unregisterHotkey(int identifier) = 0;
    // Starts reporting fired hotkeys to the listener; false when nothing can be
    // reported (no display).
    virtual bool startListening(HotkeyListener listener) = 0;
    // Stops reporting; false when not listening.
    virtual bool stopListening() = 0;
};

// The system's hotkeys (key grabs on the X root window on Linux).
GlobalHotkeys& systemGlobalHotkeys();

// The desktop's own shortcut service where a Wayland session offers one (KDE's
// global shortcuts, the desktop portal's GlobalShortcuts), or nullptr where the
// system's hotkeys are the route (X11, Windows, desktops without such a service).
// Made on first call (call it on the GUI thread).
GlobalHotkeys* desktopGlobalHotkeys();

// The hotkeys a program gets here: the desktop's service when there is one.
inline GlobalHotkeys& programGlobalHotkeys() {
    GlobalHotkeys* desktop = desktopGlobalHotkeys();
    return desktop != nullptr ? *desktop : systemGlobalHotkeys();
}

}  // namespace lumivox::platform
