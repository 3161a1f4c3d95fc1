#include "platform/linux/wayland/PortalKeyboard.hpp"

#include <dbus/dbus.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace lumivox::platform::wayland {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kRequestPaths = "/org/freedesktop/portal/desktop/request/";
constexpr std::uint32_t kKeyboardDevice = 1;
// A request the portal does not answer in this time is taken as refused, and a
// key call too (a portal that hangs must not hold the phrases forever). The
// portal's own calls to the desktop may take D-Bus's 25 s before they give up
// (KDE's waits that long for a notification server that is not there).
constexpr int kRequestTimeoutMs = 30000;
constexpr int kKeyTimeoutMs = 1000;
constexpr int kCallTimeoutMs = 10000;

// The a{sv} of options, with string and uint32 values.
class Options {
  public:
    explicit Options(DBusMessageIter* args) : args_(args) {
        dbus_message_iter_open_container(args_, DBUS_TYPE_ARRAY, "{sv}", &dict_);
    }
    ~Options() { dbus_message_iter_close_container(args_, &dict_); }
    Options& add(const char* key, const char* value) {
        return entry(key, DBUS_TYPE_STRING_AS_STRING, DBUS_TYPE_STRING, &value);
    }
    Options& add(const char* key, std::uint32_t value) {
        return entry(key, DBUS_TYPE_UINT32_AS_STRING, DBUS_TYPE_UINT32, &value);
    }

  private:
    Options& entry(const char* key, const char* signature, int type, const void* value) {
        DBusMessageIter pair, variant;
        dbus_message_iter_open_container(&dict_, DBUS_TYPE_DICT_ENTRY, nullptr, &pair);
        dbus_message_iter_append_basic(&pair, DBUS_TYPE_STRING, &key);
        dbus_message_iter_open_container(&pair, DBUS_TYPE_VARIANT, signature, &variant);
        dbus_message_iter_append_basic(&variant, type, value);
        dbus_message_iter_close_container(&pair, &variant);
        dbus_message_iter_close_container(&dict_, &pair);
        return *this;
    }
    DBusMessageIter* args_;
    DBusMessageIter dict_;
};

// The value under `key` in a Response signal's results (u response, a{sv} results).
bool findResult(DBusMessage* response, const char* key, int type, void* value) {
    DBusMessageIter args, dict;
    if (!dbus_message_iter_init(response, &args) || !dbus_message_iter_next(&args) ||
        dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY) {
        return false;
    }
    for (dbus_message_iter_recurse(&args, &dict);
         dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&dict)) {
        DBusMessageIter pair, variant;
        dbus_message_iter_recurse(&dict, &pair);
        const char* name = nullptr;
        dbus_message_iter_get_basic(&pair, &name);
        dbus_message_iter_next(&pair);
        dbus_message_iter_recurse(&pair, &variant);
        if (std::string_view(name) == key) {
            // A session handle may come as a string or an object path.
            const int got = dbus_message_iter_get_arg_type(&variant);
            if (got != type && !(type == DBUS_TYPE_STRING && got == DBUS_TYPE_OBJECT_PATH)) {
                return false;
            }
            dbus_message_iter_get_basic(&variant, value);
            return true;
        }
    }
    return false;
}

DBusMessage* portalCall(const char* method) {
    return dbus_message_new_method_call(kPortal, kPortalPath, kRemoteDesktop, method);
}

}  // namespace

PortalKeyboard::~PortalKeyboard() {
    if (bus_ == nullptr) {
        return;
    }
    if (!session_.empty()) {
        DBusMessage* close = dbus_message_new_method_call(
            kPortal, session_.c_str(), "org.freedesktop.portal.Session", "Close");
        dbus_connection_send(bus_, close, nullptr);
        dbus_connection_flush(bus_);
        dbus_message_unref(close);
    }
    dbus_connection_close(bus_);
    dbus_connection_unref(bus_);
}

bool PortalKeyboard::connectBus() {
    DBusError error;
    dbus_error_init(&error);
    bus_ = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (bus_ == nullptr) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus_, false);
    // Request paths are predictable: our unique name without the colon, dots
    // as underscores. Subscribed once, before any request is made.
    sender_ = dbus_bus_get_unique_name(bus_) + 1;
    for (char& c : sender_) {
        c = c == '.' ? '_' : c;
    }
    const std::string requests =
        "type='signal',interface='org.freedesktop.portal.Request',"
        "member='Response',path_namespace='" +
        std::string(kRequestPaths) + sender_ + "'";
    dbus_bus_add_match(bus_, requests.c_str(), &error);
    dbus_bus_add_match(
        bus_, "type='signal',interface='org.freedesktop.portal.Session',member='Closed'", &error);
    const bool ok = !dbus_error_is_set(&error);
    dbus_error_free(&error);
    return ok;
}

void PortalKeyboard::readSignals(int timeoutMs) {
    dbus_connection_read_write(bus_, timeoutMs);
    while (DBusMessage* message = dbus_connection_pop_message(bus_)) {
        if (dbus_message_is_signal(message, "org.freedesktop.portal.Session", "Closed") &&
            session_ == dbus_message_get_path(message)) {
            session_.clear();
        }
        dbus_message_unref(message);
    }
}

DBusMessage* PortalKeyboard::request(DBusMessage* call, const std::string& token) {
    const std::string handle = kRequestPaths + sender_ + "/" + token;
    DBusError error;
    dbus_error_init(&error);
    // The call itself is answered once the portal is up (the bus may have to
    // start it) with the request's handle; its outcome comes later, as the
    // Response signal.
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(bus_, call, kCallTimeoutMs, &error);
    dbus_message_unref(call);
    if (reply == nullptr) {
        missing_ = std::string("门户没有应答：") + (error.message ? error.message : "");
        dbus_error_free(&error);
        return nullptr;
    }
    // An older portal may answer on a path of its own choosing.
    const char* given = nullptr;
    std::string path = handle;
    if (dbus_message_get_args(reply, nullptr, DBUS_TYPE_OBJECT_PATH, &given, DBUS_TYPE_INVALID)) {
        path = given;
    }
    dbus_message_unref(reply);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
    while (Clock::now() < deadline && dbus_connection_get_is_connected(bus_) && !ending_()) {
        while (DBusMessage* message = dbus_connection_pop_message(bus_)) {
            const char* at = dbus_message_get_path(message);
            if (dbus_message_is_signal(message, "org.freedesktop.portal.Request", "Response") &&
                at != nullptr && (path == at || handle == at)) {
                std::uint32_t code = 2;
                DBusMessageIter args;
                if (dbus_message_iter_init(message, &args) &&
                    dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_UINT32) {
                    dbus_message_iter_get_basic(&args, &code);
                }
                if (code == 0) {
                    return message;
                }
                missing_ = code == 1 ? "门户的请求被取消" : "门户拒绝了请求";
                dbus_message_unref(message);
                return nullptr;
            }
            dbus_message_unref(message);
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        // In short steps, so that the program's end is not held up.
        dbus_connection_read_write(bus_,
                                   static_cast<int>(std::clamp<long long>(left.count(), 1, 100)));
    }
    missing_ = "门户没有及时应答";
    return nullptr;
}

bool PortalKeyboard::startSession() {
    const std::string base = "lumivox" + std::to_string(++tokens_);
    const std::string createToken = base + "c", selectToken = base + "s", startToken = base + "t";
    const std::string sessionToken = base;

    DBusMessage* create = portalCall("CreateSession");
    DBusMessageIter args;
    dbus_message_iter_init_append(create, &args);
    Options(&args)
        .add("handle_token", createToken.c_str())
        .add("session_handle_token", sessionToken.c_str());
    DBusMessage* created = request(create, createToken);
    const char* handle = nullptr;
    if (created == nullptr) {
        return false;
    }
    std::string session;
    if (findResult(created, "session_handle", DBUS_TYPE_STRING, &handle)) {
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
    Options(&args).add("handle_token", selectToken.c_str()).add("types", kKeyboardDevice);
    DBusMessage* selected = request(select, selectToken);
    if (selected == nullptr) {
        return false;
    }
    dbus_message_unref(selected);

    DBusMessage* start = portalCall("Start");
    const char* noParent = "";
    dbus_message_iter_init_append(start, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &path);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &noParent);
    Options(&args).add("handle_token", startToken.c_str());
    DBusMessage* started = request(start, startToken);
    if (started == nullptr) {
        return false;
    }
    std::uint32_t devices = 0;
    findResult(started, "devices", DBUS_TYPE_UINT32, &devices);
    dbus_message_unref(started);
    if ((devices & kKeyboardDevice) == 0) {
        missing_ = "门户没有给出键盘";
        return false;
    }
    session_ = session;
    return true;
}

bool PortalKeyboard::open() {
    missing_.clear();
    if (bus_ == nullptr && !connectBus()) {
        missing_ = "连不上会话总线";
    } else {
        readSignals(0);
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
    { const Options none(&args); }  // no options
    dbus_message_iter_append_basic(&args, DBUS_TYPE_INT32, &evdevCode);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_UINT32, &state);
    DBusError error;
    dbus_error_init(&error);
    // Waiting for each reply keeps the keys in order with what the paster does
    // between them (the clipboard set before Ctrl+V, the fetch before Enter).
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(bus_, call, kKeyTimeoutMs, &error);
    dbus_message_unref(call);
    if (reply == nullptr) {
        std::fprintf(stderr, "lumivox: the portal did not take a key: %s\n",
                     error.message ? error.message : "");
        dbus_error_free(&error);
        // The session is no use any more; the next phrase opens a new one.
        session_.clear();
        return false;
    }
    dbus_message_unref(reply);
    return true;
}

bool PortalKeyboard::enter() {
    return key(KEY_ENTER, true) && key(KEY_ENTER, false);
}

bool PortalKeyboard::controlV() {
    const bool pressed = key(KEY_LEFTCTRL, true) && key(KEY_V, true) && key(KEY_V, false);
    // Ctrl is let go whatever happened, or it would stay held on the desktop.
    return key(KEY_LEFTCTRL, false) && pressed;
}

}  // namespace lumivox::platform::wayland
