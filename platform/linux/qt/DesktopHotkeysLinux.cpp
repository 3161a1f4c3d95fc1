// Which hotkeys a Linux session gets: on a Wayland desktop, KDE's global shortcut
// service where it runs, otherwise the desktop portal's GlobalShortcuts where the
// portal offers it; elsewhere the X11 key grabs (on X11 itself, and on Wayland
// desktops where the host binds keys in the desktop instead).
// LUMIVOX_DESKTOP_SHORTCUTS=portal asks for the portal even where KDE's service runs.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/GlobalHotkeys.hpp"
#include "platform/linux/qt/GlobalHotkeysKde.hpp"
#include "platform/linux/qt/GlobalHotkeysPortal.hpp"

namespace lumivox::platform {
namespace {

GlobalHotkeys* chooseHotkeys() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        return nullptr;
    }
    const auto kde = []() -> GlobalHotkeys* {
        if (!KdeGlobalHotkeys::available()) {
            return nullptr;
        }
        std::fprintf(stderr, "lumivox: F1-F12 go through KDE's global shortcut service\n");
        return new KdeGlobalHotkeys;
    };
    const auto portal = []() -> GlobalHotkeys* {
        if (!PortalGlobalHotkeys::available()) {
            return nullptr;
        }
        std::fprintf(stderr, "lumivox: F1-F12 go through the desktop portal's GlobalShortcuts\n");
        return new PortalGlobalHotkeys;
    };
    const char* asked = std::getenv("LUMIVOX_DESKTOP_SHORTCUTS");
    if (asked != nullptr && std::string_view(asked) == "portal") {
        GlobalHotkeys* hotkeys = portal();
        return hotkeys != nullptr ? hotkeys : kde();
    }
    GlobalHotkeys* hotkeys = kde();
    return hotkeys != nullptr ? hotkeys : portal();
}

}  // namespace

GlobalHotkeys* desktopGlobalHotkeys() {
    // Never destroyed: its bus connection must not outlive Qt in a static destructor.
    static GlobalHotkeys* hotkeys = chooseHotkeys();
    return hotkeys;
}

}  // namespace lumivox::platform
