#include "platform/linux/qt/X11Keyboard.hpp"

#include <X11/keysym.h>

#include <cstdlib>
#include <memory>

#include <QGuiApplication>

namespace lumivox::platform::x11 {
namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

}  // namespace

xcb_connection_t* connection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        return nullptr;
    }
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* connection) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    return screens.rem > 0 ? screens.data->root : XCB_NONE;
}

KeyboardMap::KeyboardMap(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    minKeycode_ = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
        connection,
        xcb_get_keyboard_mapping(connection, minKeycode_, static_cast<std::uint8_t>(count)),
        nullptr));
    if (!reply) {
        return;
    }
    keysymsPerKeycode_ = reply->keysyms_per_keycode;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
    keysyms_.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
}

xcb_keycode_t KeyboardMap::keycodeFor(std::uint32_t keysym) const {
    if (keysym == 0 || keysymsPerKeycode_ == 0) {
        return 0;
    }
    const std::size_t keys = keysyms_.size() / static_cast<std::size_t>(keysymsPerKeycode_);
    for (int column = 0; column < keysymsPerKeycode_; ++column) {
        for (std::size_t key = 0; key < keys; ++key) {
            if (keysyms_[key * static_cast<std::size_t>(keysymsPerKeycode_) +
                         static_cast<std::size_t>(column)] == keysym) {
                return static_cast<xcb_keycode_t>(minKeycode_ + key);
            }
        }
    }
    return 0;
}

std::uint32_t KeyboardMap::baseKeysym(xcb_keycode_t keycode) const {
    if (keycode < minKeycode_ || keysymsPerKeycode_ == 0) {
        return 0;
    }
    const std::size_t index = static_cast<std::size_t>(keycode - minKeycode_) *
                              static_cast<std::size_t>(keysymsPerKeycode_);
    return index < keysyms_.size() ? keysyms_[index] : 0;
}

std::uint16_t KeyboardMap::numLockMask(xcb_connection_t* connection) const {
    const xcb_keycode_t numLock = keycodeFor(XK_Num_Lock);
    if (numLock == 0) {
        return 0;
    }
    Reply<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!reply) {
        return 0;
    }
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            if (keycodes[modifier * perModifier + i] == numLock) {
                return static_cast<std::uint16_t>(1u << modifier);
            }
        }
    }
    return 0;
}

}  // namespace lumivox::platform::x11
