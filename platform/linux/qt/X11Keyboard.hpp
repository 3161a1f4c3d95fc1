#pragma once
// Qt's own X connection and the keyboard map read from it, shared by the key
// grabs and the key injection. GUI thread only.
#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

namespace lumivox::platform::x11 {

// The connection of the running Qt GUI, or null when the GUI does not run on
// X11 (no GUI, offscreen, a Wayland session without XWayland).
xcb_connection_t* connection();
xcb_window_t rootWindow(xcb_connection_t* connection);

// The keyboard map as the server has it now.
class KeyboardMap {
  public:
    explicit KeyboardMap(xcb_connection_t* connection);
    // A key that produces the keysym, preferring one where it is the unshifted
    // symbol; 0 when no key produces it.
    xcb_keycode_t keycodeFor(std::uint32_t keysym) const;
    // The unshifted symbol of a key; 0 when it has none.
    std::uint32_t baseKeysym(xcb_keycode_t keycode) const;
    // The modifier mask that Num Lock sets (Mod2 on most keyboards); 0 when no
    // modifier carries it.
    std::uint16_t numLockMask(xcb_connection_t* connection) const;

  private:
    xcb_keycode_t minKeycode_ = 0;
    int keysymsPerKeycode_ = 0;
    std::vector<std::uint32_t> keysyms_;
};

}  // namespace lumivox::platform::x11
