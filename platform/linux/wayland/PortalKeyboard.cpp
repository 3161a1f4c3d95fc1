#include "platform/linux/wayland/PortalKeyboard.hpp"

#include <dbus/dbus.h>
#include <linux/input-event-codes.h>

#include <cstdio>

namespace lumivox::platform::wayland {
namespace {

constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr std::uint32_t kKeyboardDevice = 1;
// A request the portal does not answer in this time is taken as refused, and a
// key call too (a portal that hangs must not hold the phrases forever). The
// portal's own calls to the desktop may take D-Bus's 25 s before they give up
// (KDE's waits that long for a notification server that is not there).
constexpr int kRequestTimeoutMs = 30000;
constexpr int kKeyTimeoutMs = 1000;

DBusMessage* portalCall(const char* method) {
    return PortalBus::call(kRemoteDesktop, method);
}

}  // namespace

PortalKeyboard::~PortalKeyboard() {
    bus_.closeSession(session_);
}

DBusMessage* PortalKeyboard::request(DBusMessage* call, const std::string& token) {
    DBusMessage* response = bus_.request(call, token, kRequestTimeoutMs);
    if (response == nullptr) {
        missing_ = bus_.failure();
    }
    return response;
}

bool PortalKeyboard::startSession() {
    const std::string base = bus_.token("lumivox");
    const std::string createToken = base + "c", selectToken = base + "s", startToken = base + "t";
    const std::string sessionToken = base;

    DBusMessage* create = portalCall("CreateSession");
    DBusMessageIter args;
    dbus_message_iter_init_append(create, &args);
    PortalOptions(&args)
        .add("handle_token", createToken.c_str())
        .add("session_handle_token", sessionToken.c_str());
    DBusMessage* created = request(create, createToken);
    const char* handle = nullptr;
    if (created == nullptr) {
        return false;
    }
    std::string session;
    if (findPortalResult(created, "session_handle", DBUS_TYPE_STRING, &handle)) {
        session = handle;
    }
    dbus_message_unref(created);
    if (session.empty()) {
        missing_ = "门户没有给出会话";
        return false;
    }

    const char* path = session.c_str();
    DBusMessage* select = portalCall("SelectDevices");
    dbus_message_iter_init_append(select, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &path);
    PortalOptions(&args).add("handle_token", selectToken.c_str()).add("types", kKeyboardDevice);
    DBusMessage* selected = request(select, selectToken);
    if (selected == nullptr) {
        bus_.closeSession(session);  // made, but of no use
        return false;
    }
    dbus_message_unref(selected);

    DBusMessage* start = portalCall("Start");
    const char* noParent = "";
    dbus_message_iter_init_append(start, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &path);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &noParent);
    PortalOptions(&args).add("handle_token", startToken.c_str());
    DBusMessage* started = request(start, startToken);
    if (started == nullptr) {
        bus_.closeSession(session);
        return false;
    }
    std::uint32_t devices = 0;
    findPortalResult(started, "devices", DBUS_TYPE_UINT32, &devices);
    dbus_message_unref(started);
    if ((devices & kKeyboardDevice) == 0) {
        missing_ = "门户没有给出键盘";
        bus_.closeSession(session);
        return false;
    }
    session_ = session;
    return true;
}

bool PortalKeyboard::open() {
    missing_.clear();
    if (!bus_.connect()) {
        missing_ = "连不上会话总线";
    } else {
        // A session the portal closed is opened again.
        bus_.readSignals(0, [&](DBusMessage* message) {
            if (dbus_message_is_signal(message, "org.freedesktop.portal.Session", "Closed") &&
                session_ == dbus_message_get_path(message)) {
                session_.clear();
            }
        });
        if (!session_.empty() || startSession()) {
            return true;
        }
    }
    // What the host reads: neither way of typing is there, and why not the portal's.
    missing_ = "键盘（virtual-keyboard；RemoteDesktop 门户：" + missing_ + "）";
    return false;
}

bool PortalKeyboard::key(std::int32_t evdevCode, bool down) {
    if (session_.empty()) {
        return false;
    }
    DBusMessage* call = portalCall("NotifyKeyboardKeycode");
    const char* path = session_.c_str();
    const std::uint32_t state = down ? 1 : 0;
    DBusMessageIter args;
    dbus_message_iter_init_append(call, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &path);
    { const PortalOptions none(&args); }  // no options
    dbus_message_iter_append_basic(&args, DBUS_TYPE_INT32, &evdevCode);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_UINT32, &state);
    // Waiting for each reply keeps the keys in order with what the paster does
    // between them (the clipboard set before Ctrl+V, the fetch before Enter).
    if (!bus_.callAndWait(call, kKeyTimeoutMs)) {
        std::fprintf(stderr, "lumivox: the portal did not take a key: %s\n",
                     bus_.failure().c_str());
        // The session stays until the keys already pressed in it are let go (a
        // late portal still presses them); `endKeys` then closes it.
        failed_ = true;
        return false;
    }
    return true;
}

bool PortalKeyboard::endKeys(bool sent) {
    if (!failed_) {
        return sent;
    }
    // A portal that did not answer in time is not trusted with the next phrase:
    // its session is closed first, so that no abandoned session keeps a device.
    failed_ = false;
    bus_.closeSession(session_);
    session_.clear();
    return false;
}

bool PortalKeyboard::enter() {
    // The release goes out whatever happened to the press: a press the portal
    // answered late is still a press on the desktop.
    const bool pressed = key(KEY_ENTER, true);
    const bool released = key(KEY_ENTER, false);
    return endKeys(pressed && released);
}

bool PortalKeyboard::controlV() {
    // Every key pressed is let go, in the order pressed, whatever happened to
    // the calls before: Ctrl or V held on the desktop turns the host's own typing
    // into shortcuts (Ctrl+W closes the browser's tab).
    const bool control = key(KEY_LEFTCTRL, true);
    const bool v = control && key(KEY_V, true);
    const bool vUp = !control || key(KEY_V, false);
    const bool controlUp = key(KEY_LEFTCTRL, false);
    return endKeys(control && v && vUp && controlUp);
}

}  // namespace lumivox::platform::wayland
