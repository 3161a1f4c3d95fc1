// System-wide hotkeys on X11: a passive grab of the key on the root window for
// every combination of the lock keys (Caps Lock, Num Lock), seen through a
// native event filter on Qt's X connection.
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>

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
            for (std::uint16_t lock : granted) {
                xcb_ungrab_key(connection, keycode, root, modifiers | lock);
            }
            xcb_flush(connection);
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
        const xcb_window_t root = x11::rootWindow(connection);
        for (std::uint16_t lock : grab->variants) {
            xcb_ungrab_key(connection, grab->keycode, root, grab->modifiers | lock);
        }
        xcb_flush(connection);
        grabs_.erase(grab);
        return true;
    }

    bool startListening(HotkeyListener listener) override {
        if (x11::connection() == nullptr) {
            return false;
        }
        if (!listening_) {
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
        listening_ = false;
        listener_ = {};
        return true;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") {
            return false;
        }
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_KEY_PRESS) {
            return false;
        }
        auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
        xcb_connection_t* connection = x11::connection();
        if (connection == nullptr || press->event != x11::rootWindow(connection)) {
            return false;
        }
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
        // A held key repeats, and each repeat is a new press that the passive
        // grab brings here; the release goes to the focused window, so the key's
        // state is polled until it is up. One report per press.
        if (std::find(held_.begin(), held_.end(), press->detail) != held_.end()) {
            return false;
        }
        // A key up again already (a quick tap, keys typed by a program) repeats
        // nothing; a new tap within one poll would otherwise count as a repeat.
        if (keyDown(connection, press->detail)) {
            held_.push_back(press->detail);
            watchHeldKeys();
        }
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
    void watchHeldKeys() {
        if (releaseWatch_ == nullptr) {
            releaseWatch_ = new QTimer(QCoreApplication::instance());
            releaseWatch_->setInterval(kReleasePollMs);
            QObject::connect(releaseWatch_, &QTimer::timeout, [this] { forgetReleasedKeys(); });
        }
        releaseWatch_->start();
    }

    static bool keyDown(xcb_connection_t* connection, xcb_keycode_t key) {
        xcb_query_keymap_reply_t* keymap =
            xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
        const bool down = keymap != nullptr && (keymap->keys[key / 8] & (1u << (key % 8))) != 0;
        std::free(keymap);
        return down;
    }

    void forgetReleasedKeys() {
        xcb_connection_t* connection = x11::connection();
        std::erase_if(held_, [&](xcb_keycode_t key) {
            return connection == nullptr || !keyDown(connection, key);
        });
        if (held_.empty()) {
            releaseWatch_->stop();
        }
    }

    static constexpr int kReleasePollMs = 25;

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
    std::vector<xcb_keycode_t> held_;  // hotkeys pressed and not yet released
    QTimer* releaseWatch_ = nullptr;   // polls held_ while it is not empty
};

}  // namespace

GlobalHotkeys& systemGlobalHotkeys() {
    // Never destroyed: the native event filter must not outlive Qt's dispatcher
    // in a static destructor.
    static X11Hotkeys* hotkeys = new X11Hotkeys;
    return *hotkeys;
}

}  // namespace lumivox::platform
