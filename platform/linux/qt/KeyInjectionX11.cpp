// Key injection on X11 through the XTest extension, on Qt's own connection so
// that it is ordered after the clipboard ownership that Qt takes on it.
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "platform/KeyInjection.hpp"
#include "platform/linux/VirtualKeys.hpp"
#include "platform/linux/qt/X11Keyboard.hpp"

namespace lumivox::platform {
namespace {

class XTestInjector final : public KeyInjector {
  public:
    bool injectKey(int virtualKey, bool down) override {
        xcb_connection_t* connection = x11::connection();
        if (connection == nullptr) {
            return false;
        }
        // The map is read for every key: a layout switched since the last key counts.
        const xcb_keycode_t keycode =
            x11::KeyboardMap(connection).keycodeFor(keysymForVirtualKey(virtualKey));
        if (keycode == 0) {
            return false;
        }
        xcb_test_fake_input(connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(connection);
        return true;
    }

    int virtualKeyForCharacter(char32_t character) override {
        xcb_connection_t* connection = x11::connection();
        if (connection == nullptr) {
            return -1;
        }
        const x11::KeyboardMap keyboard(connection);
        const xcb_keycode_t keycode = keyboard.keycodeFor(keysymForCharacter(character));
        return keycode == 0 ? -1 : virtualKeyForKeysym(keyboard.baseKeysym(keycode));
    }
};

}  // namespace

KeyInjector& systemKeyInjector() {
    static XTestInjector injector;
    return injector;
}

}  // namespace lumivox::platform
