// Which hotkeys a Linux session gets: on a Wayland desktop that has KDE's global
// shortcut service, that service; elsewhere the X11 key grabs (on X11 itself, and
// on Wayland desktops where the host binds keys in the desktop instead).
#include <cstdlib>

#include "platform/GlobalHotkeys.hpp"
#include "platform/linux/qt/GlobalHotkeysKde.hpp"

namespace lumivox::platform {
namespace {

GlobalHotkeys* chooseHotkeys() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        return nullptr;
    }
    if (KdeGlobalHotkeys::available()) {
        return new KdeGlobalHotkeys;
    }
    return nullptr;
}

}  // namespace

GlobalHotkeys* desktopGlobalHotkeys() {
    // Never destroyed: its bus connection must not outlive Qt in a static destructor.
    static GlobalHotkeys* hotkeys = chooseHotkeys();
    return hotkeys;
}

}  // namespace lumivox::platform
