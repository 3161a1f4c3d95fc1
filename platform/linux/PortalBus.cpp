#include "platform/linux/PortalBus.hpp"

#include <algorithm>
#include <chrono>
#include <string_view>

namespace lumivox::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kRequestPaths = "/org/freedesktop/portal/desktop/request/";
// The call itself is answered once the portal is up (the bus may have to start it).
constexpr int kCallTimeoutMs = 10000;

bool isResponse(DBusMessage* message) {
    return dbus_message_is_signal(message, "org.freedesktop.portal.Request", "Response");
}

}  // namespace

PortalOptions::PortalOptions(DBusMessageIter* args) : args_(args) {
    dbus_message_iter_open_container(args_, DBUS_TYPE_ARRAY, "{sv}", &dict_);
}

PortalOptions::~PortalOptions() {
    dbus_message_iter_close_container(args_, &dict_);
}

PortalOptions& PortalOptions::add(const char* key, const char* value) {
    return add(key, DBUS_TYPE_STRING_AS_STRING, [&](DBusMessageIter* variant) {
        dbus_message_iter_append_basic(variant, DBUS_TYPE_STRING, &value);
    });
}

PortalOptions& PortalOptions::add(const char* key, std::uint32_t value) {
    return add(key, DBUS_TYPE_UINT32_AS_STRING, [&](DBusMessageIter* variant) {
        dbus_message_iter_append_basic(variant, DBUS_TYPE_UINT32, &value);
    });
}

PortalOptions& PortalOptions::add(const char* key, const char* signature,
                                  const std::function<void(DBusMessageIter*)>& write) {
    DBusMessageIter pair, variant;
    dbus_message_iter_open_container(&dict_, DBUS_TYPE_DICT_ENTRY, nullptr, &pair);
    dbus_message_iter_append_basic(&pair, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&pair, DBUS_TYPE_VARIANT, signature, &variant);
    write(&variant);
    dbus_message_iter_close_container(&pair, &variant);
    dbus_message_iter_close_container(&dict_, &pair);
    return *this;
}

bool findPortalResult(DBusMessage* response, const char* key, DBusMessageIter* value) {
    DBusMessageIter args, dict;
    if (!dbus_message_iter_init(response, &args) || !dbus_message_iter_next(&args) ||
        dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY ||
        dbus_message_iter_get_element_type(&args) != DBUS_TYPE_DICT_ENTRY) {
        return false;
    }
    for (dbus_message_iter_recurse(&args, &dict);
         dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&dict)) {
        DBusMessageIter pair;
        dbus_message_iter_recurse(&dict, &pair);
        if (dbus_message_iter_get_arg_type(&pair) != DBUS_TYPE_STRING) {
            return false;
        }
        const char* name = nullptr;
        dbus_message_iter_get_basic(&pair, &name);
        if (std::string_view(name) == key && dbus_message_iter_next(&pair) &&
            dbus_message_iter_get_arg_type(&pair) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&pair, value);
            return true;
        }
    }
    return false;
}

bool findPortalResult(DBusMessage* response, const char* key, int type, void* value) {
    DBusMessageIter variant;
    if (!findPortalResult(response, key, &variant)) {
        return false;
    }
    // A session handle may come as a string or an object path.
    const int got = dbus_message_iter_get_arg_type(&variant);
    if (got != type && !(type == DBUS_TYPE_STRING && got == DBUS_TYPE_OBJECT_PATH)) {
        return false;
    }
    dbus_message_iter_get_basic(&variant, value);
    return true;
}

PortalBus::~PortalBus() {
    for (DBusMessage* message : unclaimed_) {
        dbus_message_unref(message);
    }
    if (bus_ != nullptr) {
        dbus_connection_flush(bus_);
        dbus_connection_close(bus_);
        dbus_connection_unref(bus_);
    }
}

bool PortalBus::connect() {
    if (bus_ != nullptr) {
        return true;
    }
    DBusError error;
    dbus_error_init(&error);
    bus_ = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    dbus_error_free(&error);
    if (bus_ == nullptr) {
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus_, false);
    // Request paths are predictable: our unique name without the colon, dots as
    // underscores. Subscribed once, before any request is made: the answer may
    // come at once.
    sender_ = dbus_bus_get_unique_name(bus_) + 1;
    std::replace(sender_.begin(), sender_.end(), '.', '_');
    listen("type='signal',interface='org.freedesktop.portal.Request',member='Response',"
           "path_namespace='" +
           std::string(kRequestPaths) + sender_ + "'");
    listen("type='signal',interface='org.freedesktop.portal.Session',member='Closed'");
    return true;
}

void PortalBus::listen(const std::string& rule) {
    // Not waited for: the bus applies rules in order, before any later call of ours.
    dbus_bus_add_match(bus_, rule.c_str(), nullptr);
}

std::string PortalBus::token(const std::string& base) {
    return base + std::to_string(++tokens_);
}

DBusMessage* PortalBus::call(const char* interface, const char* method) {
    return dbus_message_new_method_call(kPortalService, kPortalPath, interface, method);
}

bool PortalBus::callAndWait(DBusMessage* call, int timeoutMs) {
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus_, call, timeoutMs, &error);
    dbus_message_unref(call);
    if (reply == nullptr) {
        failure_ = error.message != nullptr ? error.message : "";
        dbus_error_free(&error);
        return false;
    }
    dbus_message_unref(reply);
    return true;
}

DBusMessage* PortalBus::request(DBusMessage* call, const std::string& token, int timeoutMs) {
    const std::string handle = kRequestPaths + sender_ + "/" + token;
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(bus_, call, kCallTimeoutMs, &error);
    dbus_message_unref(call);
    if (reply == nullptr) {
        failure_ = std::string("门户没有应答：") + (error.message ? error.message : "");
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
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline && dbus_connection_get_is_connected(bus_) && !ending_()) {
        while (DBusMessage* message = dbus_connection_pop_message(bus_)) {
            const char* at = dbus_message_get_path(message);
            if (!isResponse(message) || at == nullptr || (path != at && handle != at)) {
                keep(message);
                continue;
            }
            std::uint32_t code = 2;
            DBusMessageIter args;
            if (dbus_message_iter_init(message, &args) &&
                dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_UINT32) {
                dbus_message_iter_get_basic(&args, &code);
            }
            if (code == 0) {
                return message;
            }
            failure_ = code == 1 ? "门户的请求被取消" : "门户拒绝了请求";
            dbus_message_unref(message);
            return nullptr;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        // In short steps, so that the program's end is not held up.
        dbus_connection_read_write(bus_,
                                   static_cast<int>(std::clamp<long long>(left.count(), 1, 100)));
    }
    failure_ = "门户没有及时应答";
    return nullptr;
}

void PortalBus::send(DBusMessage* call, const std::string& token, int timeoutMs, Answer done) {
    Pending request;
    request.handle = kRequestPaths + sender_ + "/" + token;
    request.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    request.done = std::move(done);
    if (bus_ == nullptr || !dbus_connection_send(bus_, call, &request.serial)) {
        request.serial = 0;
        request.deadline = Clock::now();  // refused at the next read
    }
    dbus_message_unref(call);
    if (bus_ != nullptr) {
        dbus_connection_flush(bus_);
    }
    pending_.push_back(std::move(request));
}

std::optional<std::chrono::steady_clock::time_point> PortalBus::nextDeadline() const {
    std::optional<Clock::time_point> next;
    for (const Pending& request : pending_) {
        if (!next || request.deadline < *next) {
            next = request.deadline;
        }
    }
    return next;
}

void PortalBus::forgetPending() {
    pending_.clear();
}

bool PortalBus::answerPending(DBusMessage* message) {
    const int type = dbus_message_get_type(message);
    for (auto request = pending_.begin(); request != pending_.end(); ++request) {
        if (type == DBUS_MESSAGE_TYPE_METHOD_RETURN &&
            dbus_message_get_reply_serial(message) == request->serial) {
            // An older portal may answer on a path of its own choosing.
            const char* given = nullptr;
            if (dbus_message_get_args(message, nullptr, DBUS_TYPE_OBJECT_PATH, &given,
                                      DBUS_TYPE_INVALID)) {
                request->path = given;
            }
            return true;
        }
        const char* at = dbus_message_get_path(message);
        const bool refused = type == DBUS_MESSAGE_TYPE_ERROR &&
                             dbus_message_get_reply_serial(message) == request->serial;
        const bool response = isResponse(message) && at != nullptr &&
                              (request->handle == at || request->path == at);
        if (!refused && !response) {
            continue;
        }
        std::uint32_t code = 2;
        DBusMessageIter args;
        if (response && dbus_message_iter_init(message, &args) &&
            dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_UINT32) {
            dbus_message_iter_get_basic(&args, &code);
        }
        if (refused) {
            const char* name = dbus_message_get_error_name(message);
            failure_ = std::string("门户没有应答：") + (name ? name : "");
        } else if (code != 0) {
            failure_ = code == 1 ? "门户的请求被取消" : "门户拒绝了请求";
        }
        // Off the list before its owner hears of it: the owner may send anew.
        Answer done = std::move(request->done);
        pending_.erase(request);
        done(code == 0 && response ? message : nullptr);
        return true;
    }
    return false;
}

void PortalBus::expirePending() {
    const auto now = Clock::now();
    for (auto request = pending_.begin(); request != pending_.end();) {
        if (request->deadline > now && dbus_connection_get_is_connected(bus_)) {
            ++request;
            continue;
        }
        failure_ = "门户没有及时应答";
        Answer done = std::move(request->done);
        request = pending_.erase(request);
        done(nullptr);
        // The owner may have sent or forgotten requests meanwhile.
        request = pending_.begin();
    }
}

void PortalBus::readSignals(int timeoutMs, const std::function<void(DBusMessage*)>& signal) {
    if (bus_ == nullptr) {
        return;
    }
    dbus_connection_read_write(bus_, timeoutMs);
    while (DBusMessage* message = dbus_connection_pop_message(bus_)) {
        keep(message);
    }
    // Handed over one at a time, and taken off the queue first: the handler may
    // make a request, which adds to it.
    while (!unclaimed_.empty()) {
        DBusMessage* message = unclaimed_.front();
        unclaimed_.pop_front();
        if (!answerPending(message) && dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_SIGNAL &&
            !isResponse(message)) {
            signal(message);
        }
        dbus_message_unref(message);
    }
    expirePending();
}

void PortalBus::keep(DBusMessage* message) {
    // Signals and the answers to requests sent without waiting wait for the
    // owner; anything else (a late answer to a request waited for) is dropped.
    const int type = dbus_message_get_type(message);
    if (type == DBUS_MESSAGE_TYPE_SIGNAL ||
        (!pending_.empty() &&
         (type == DBUS_MESSAGE_TYPE_METHOD_RETURN || type == DBUS_MESSAGE_TYPE_ERROR))) {
        unclaimed_.push_back(message);
    } else {
        dbus_message_unref(message);
    }
}

void PortalBus::closeSession(const std::string& session) {
    if (bus_ == nullptr || session.empty()) {
        return;
    }
    DBusMessage* close = dbus_message_new_method_call(kPortalService, session.c_str(),
                                                      "org.freedesktop.portal.Session", "Close");
    dbus_connection_send(bus_, close, nullptr);
    dbus_connection_flush(bus_);
    dbus_message_unref(close);
}

}  // namespace lumivox::platform
