// System-wide hotkeys on X11: a passive grab of the key on the root window for
// every combination of the lock keys (Caps Lock, Num Lock), seen through a
// native event filter on Qt's X connection. XInput 2 raw key events on the root
// window tell a new press from a held key's repeat.
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdlib>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include "platform/GlobalHotkeys.hpp"
#include "platform/linux/VirtualKeys.hpp"
#include "platform/linux/qt/X11Keyboard.hpp"

namespace lumivox::platform {
namespace {

// The key-modifier bits of an event's state (the rest are mouse buttons).
constexpr std::uint16_t kKeyModifierBits = 0xFF;

class X11Hotkeys final : public GlobalHotkeys, public QAbstractNativeEventFilter {
  public:
    bool registerHotkey(int identifier, unsigned modifierFlags, int virtualKey) override {
        xcb_connection_t* connection = x11::connection();
        if (connection == nullptr || find(identifier) != grabs_.end()) {
            return false;
        }
        const x11::KeyboardMap keyboard(connection);
        const xcb_keycode_t keycode = keyboard.keycodeFor(keysymForVirtualKey(virtualKey));
        if (keycode == 0) {
            return false;
        }
        const std::uint16_t modifiers = modifierMaskForFlags(modifierFlags);
        // The platform refuses a combination registered already, ours included.
        for (const Grab& grab : grabs_) {
            if (grab.keycode == keycode && grab.modifiers == modifiers) {
                return false;
            }
        }
        lockMask_ = XCB_MOD_MASK_LOCK | keyboard.numLockMask(connection);
        const xcb_window_t root = x11::rootWindow(connection);
        std::vector<std::uint16_t> variants = lockVariants();
        std::vector<xcb_void_cookie_t> cookies;
        for (std::uint16_t lock : variants) {
            cookies.push_back(xcb_grab_key_checked(connection, 0, root, modifiers | lock, keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        // BadAccess on any variant: another client holds the key. Give back the
        // variants we did get, so the key is wholly theirs.
        bool refused = false;
        std::vector<std::uint16_t> granted;
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            if (xcb_generic_error_t* error = xcb_request_check(connection, cookies[i])) {
                std::free(error);
                refused = true;
            } else {
                granted.push_back(variants[i]);
            }
        }
        if (refused) {
            ungrab(connection, keycode, modifiers, granted);
            return false;
        }
        grabs_.push_back({identifier, keycode, modifiers, std::move(variants)});
        return true;
    }

    bool unregisterHotkey(int identifier) override {
        auto grab = find(identifier);
        xcb_connection_t* connection = x11::connection();
        if (grab == grabs_.end() || connection == nullptr) {
            return false;
        }
        ungrab(connection, grab->keycode, grab->modifiers, grab->variants);
        grabs_.erase(grab);
        return true;
    }

    bool startListening(HotkeyListener listener) override {
        xcb_connection_t* connection = x11::connection();
        if (connection == nullptr) {
            return false;
        }
        if (!listening_) {
            watchRawKeys(connection, true);
            QCoreApplication::instance()->installNativeEventFilter(this);
            listening_ = true;
        }
        listener_ = std::move(listener);
        return true;
    }

    bool stopListening() override {
        if (!listening_) {
            return false;
        }
        if (QCoreApplication* app = QCoreApplication::instance()) {
            app->removeNativeEventFilter(this);
        }
        if (xcb_connection_t* connection = x11::connection()) {
            watchRawKeys(connection, false);
        }
        listening_ = false;
        listener_ = {};
        keysDown_.reset();
        freshPresses_.reset();
        releasePending_.reset();
        return true;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") {
            return false;
        }
        auto* event = static_cast<xcb_generic_event_t*>(message);
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == XCB_GE_GENERIC) {
            noteRawKey(reinterpret_cast<xcb_ge_generic_event_t*>(event));
            return false;
        }
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
            return false;
        }
        auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
        xcb_connection_t* connection = x11::connection();
        if (connection == nullptr || press->event != x11::rootWindow(connection)) {
            return false;
        }
        if (type == XCB_KEY_RELEASE) {
            // Ours while our grab lasts, when no raw release reaches us; it may
            // also be the first half of an auto-repeat's release and press pair.
            releaseTimes_[press->detail] = press->time;
            releasePending_.set(press->detail);
            return false;
        }
        const bool autoRepeat =
            releasePending_.test(press->detail) && releaseTimes_[press->detail] == press->time;
        releasePending_.reset(press->detail);
        const std::uint16_t modifiers = press->state & kKeyModifierBits & ~lockMask_;
        auto grab = std::find_if(grabs_.begin(), grabs_.end(), [&](const Grab& g) {
            return g.keycode == press->detail && g.modifiers == modifiers;
        });
        if (grab == grabs_.end()) {
            return false;
        }
        // The passive grab is now an active keyboard grab until the key is
        // released: without giving it up, the keys we inject would come back to
        // us instead of reaching the focused window.
        xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
        xcb_flush(connection);
        // One report per press: a held key's repeats bring more presses here.
        // The raw press of the same key event comes first on this connection, so
        // a press counts only when its key went down since the last one counted.
        // Without raw events (no XInput 2) every press but an auto-repeat counts.
        if (autoRepeat || (rawKeysSeen_ && !freshPresses_.test(press->detail))) {
            return false;
        }
        freshPresses_.reset(press->detail);
        // The handler runs after Qt has finished with this event, outside its X
        // event processing; Qt takes the press's time as its own, so the
        // clipboard that the handler sets is owned as of this press.
        const int identifier = grab->identifier;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, identifier] {
                if (listener_) {
                    HotkeyListener listener = listener_;
                    listener(identifier);
                }
            },
            Qt::QueuedConnection);
        return false;
    }

  private:
    // Gives the key back with each lock variant, checked: once this returns the X
    // server has freed it, and another program asking for it at once gets it.
    static void ungrab(xcb_connection_t* connection, xcb_keycode_t keycode,
                       std::uint16_t modifiers, const std::vector<std::uint16_t>& variants) {
        const xcb_window_t root = x11::rootWindow(connection);
        std::vector<xcb_void_cookie_t> cookies;
        for (std::uint16_t lock : variants) {
            cookies.push_back(xcb_ungrab_key_checked(connection, keycode, root, modifiers | lock));
        }
        for (xcb_void_cookie_t cookie : cookies) {
            std::free(xcb_request_check(connection, cookie));
        }
    }

    // Raw key events reach a client that selects them on the root window
    // whoever has the focus or a grab, in the order the keys went down and up.
    void watchRawKeys(xcb_connection_t* connection, bool on) {
        const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection, &xcb_input_id);
        if (input == nullptr || !input->present) {
            return;
        }
        inputOpcode_ = input->major_opcode;
        struct {
            xcb_input_event_mask_t head;
            std::uint32_t bits;
        } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
               on ? std::uint32_t{XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS |
                                  XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE}
                  : 0u};
        xcb_generic_error_t* error = xcb_request_check(
            connection, xcb_input_xi_select_events_checked(connection, x11::rootWindow(connection),
                                                           1, &mask.head));
        rawKeysSeen_ = on && error == nullptr;
        std::free(error);
    }

    void noteRawKey(const xcb_ge_generic_event_t* event) {
        if (event->extension != inputOpcode_) {
            return;
        }
        const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event);
        const std::uint32_t key = raw->detail;
        if (key >= keysDown_.size()) {
            return;
        }
        if (raw->event_type == XCB_INPUT_RAW_KEY_PRESS) {
            // A release we saw while grabbing, with no press of the same time
            // after it, was a real one.
            if (releasePending_.test(key)) {
                keysDown_.reset(key);
                releasePending_.reset(key);
            }
            // A press of a key that is down already is a repeat.
            if (!keysDown_.test(key)) {
                freshPresses_.set(key);
            }
            keysDown_.set(key);
        } else if (raw->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
            keysDown_.reset(key);
            releasePending_.reset(key);
        }
    }

    struct Grab {
        int identifier;
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
        std::vector<std::uint16_t> variants;  // the lock masks grabbed with it
    };

    std::vector<Grab>::iterator find(int identifier) {
        return std::find_if(grabs_.begin(), grabs_.end(),
                            [&](const Grab& g) { return g.identifier == identifier; });
    }

    std::vector<std::uint16_t> lockVariants() const {
        const std::uint16_t numLock = lockMask_ & ~XCB_MOD_MASK_LOCK;
        std::vector<std::uint16_t> variants{0, XCB_MOD_MASK_LOCK};
        if (numLock != 0) {
            variants.push_back(numLock);
            variants.push_back(numLock | XCB_MOD_MASK_LOCK);
        }
        return variants;
    }

    std::vector<Grab> grabs_;
    std::uint16_t lockMask_ = XCB_MOD_MASK_LOCK;
    HotkeyListener listener_;
    bool listening_ = false;
    std::uint8_t inputOpcode_ = 0;  // the XInput extension's, on Qt's connection
    bool rawKeysSeen_ = false;
    std::bitset<256> keysDown_;       // by key code, from the raw events
    std::bitset<256> freshPresses_;   // went down and not yet reported
    // Core releases seen on the root window (while our grab lasts), not yet
    // known to be real or an auto-repeat's.
    std::bitset<256> releasePending_;
    std::array<xcb_timestamp_t, 256> releaseTimes_{};
};

}  // namespace

GlobalHotkeys& systemGlobalHotkeys() {
    // Never destroyed: the native event filter must not outlive Qt's dispatcher
    // in a static destructor.
    static X11Hotkeys* hotkeys = new X11Hotkeys;
    return *hotkeys;
}

}  // namespace lumivox::platform
