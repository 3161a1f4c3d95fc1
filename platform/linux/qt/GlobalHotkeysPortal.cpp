#include "platform/linux/qt/GlobalHotkeysPortal.hpp"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "platform/linux/PortalShortcuts.hpp"

namespace lumivox::platform {
namespace {

constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
// The session's name, the same in every run: KDE names the desktop's record of
// the shortcuts after it, so the host's own changes there are found again (and a
// new name each run would leave the keys held by the records of earlier runs).
constexpr const char* kSessionToken = "lumivox";
constexpr int kCreateTimeoutMs = 10000;
// Binding new keys may wait for the host to answer the desktop's question.
constexpr int kBindTimeoutMs = 60000;
constexpr int kAskTimeoutMs = 10000;

}  // namespace

bool PortalGlobalHotkeys::available() {
    PortalBus bus;
    if (!bus.connect()) {
        return false;
    }
    DBusMessage* get = dbus_message_new_method_call(kPortalService, kPortalPath,
                                                    "org.freedesktop.DBus.Properties", "Get");
    const char* interface = kGlobalShortcuts;
    const char* property = "version";
    dbus_message_append_args(get, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                             DBUS_TYPE_INVALID);
    return bus.callAndWait(get, kAskTimeoutMs);
}

PortalGlobalHotkeys::PortalGlobalHotkeys() : deadline_(std::make_unique<QTimer>()) {
    deadline_->setSingleShot(true);
    connect(deadline_.get(), &QTimer::timeout, this, &PortalGlobalHotkeys::readBus);
    if (!bus_.connect()) {
        return;
    }
    bus_.listen("type='signal',interface='org.freedesktop.portal.GlobalShortcuts',"
                "member='Activated'");
    // A portal that ends takes the session with it.
    bus_.listen("type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                "member='NameOwnerChanged',arg0='" +
                std::string(kPortalService) + "'");
    int socket = -1;
    if (dbus_connection_get_unix_fd(bus_.connection(), &socket)) {
        notifier_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &PortalGlobalHotkeys::readBus);
    }
}

PortalGlobalHotkeys::~PortalGlobalHotkeys() {
    closeSession();
}

std::vector<bool> PortalGlobalHotkeys::registerHotkeys(const std::vector<HotkeyRequest>& requests) {
    std::vector<bool> asked(requests.size(), false);
    std::map<int, std::string> wanted = held_;
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const std::string trigger = portalTrigger(requests[k].modifierFlags, requests[k].virtualKey);
        bool inUse = trigger.empty() || wanted.contains(requests[k].identifier);
        for (const auto& [identifier, held] : wanted) {
            inUse = inUse || held == trigger;  // this program holds it already
        }
        if (!inUse) {
            wanted[requests[k].identifier] = trigger;
            asked[k] = true;
        }
    }
    if (std::find(asked.begin(), asked.end(), true) == asked.end()) {
        return asked;
    }
    bind(wanted);
    std::vector<bool> taken(requests.size(), false);
    for (std::size_t k = 0; k < requests.size(); ++k) {
        taken[k] = asked[k] && held_.contains(requests[k].identifier);
    }
    return taken;
}

bool PortalGlobalHotkeys::registerHotkey(int identifier, unsigned modifierFlags, int virtualKey) {
    return registerHotkeys({{identifier, modifierFlags, virtualKey}})[0];
}

bool PortalGlobalHotkeys::unregisterHotkey(int identifier) {
    if (held_.erase(identifier) == 0) {
        return false;
    }
    // The session stays for the others: their keys are not asked for again. Its
    // shortcut for this key fires no hotkey any more.
    if (held_.empty()) {
        closeSession();
    }
    return true;
}

bool PortalGlobalHotkeys::startListening(HotkeyListener listener) {
    if (!bus_.connected()) {
        return false;
    }
    listener_ = std::move(listener);
    return true;
}

bool PortalGlobalHotkeys::stopListening() {
    if (!listener_) {
        return false;
    }
    listener_ = nullptr;
    return true;
}

void PortalGlobalHotkeys::bind(std::map<int, std::string> wanted) {
    closeSession();
    bus_.forgetPending();  // answers to an earlier bind no longer count
    const unsigned attempt = ++attempt_;
    held_ = wanted;
    binding_ = std::move(wanted);
    if (!bus_.connected() || binding_.empty()) {
        held_.clear();
        return;
    }
    std::vector<std::string> triggers;
    for (const auto& [identifier, trigger] : binding_) {
        triggers.push_back(trigger);
    }
    // KDE Plasma 5.27 takes the shortcuts here, and answers with them.
    const std::string createToken = bus_.token("lumivoxkeys");
    DBusMessage* create = PortalBus::call(kGlobalShortcuts, "CreateSession");
    DBusMessageIter args;
    dbus_message_iter_init_append(create, &args);
    PortalOptions(&args)
        .add("handle_token", createToken.c_str())
        .add("session_handle_token", kSessionToken)
        .add("shortcuts", "a(sa{sv})",
             [&](DBusMessageIter* into) { appendPortalShortcuts(into, triggers); });
    bus_.send(create, createToken, kCreateTimeoutMs,
              [this, attempt](DBusMessage* created) { sessionMade(attempt, created); });
    watchDeadline();
    // Answers read meanwhile (by an earlier read) are handed on from the loop.
    QMetaObject::invokeMethod(this, &PortalGlobalHotkeys::readBus, Qt::QueuedConnection);
}

void PortalGlobalHotkeys::sessionMade(unsigned attempt, DBusMessage* created) {
    const char* handle = nullptr;
    if (attempt != attempt_) {
        return;
    }
    if (created == nullptr || !findPortalResult(created, "session_handle", DBUS_TYPE_STRING, &handle)) {
        std::fprintf(stderr, "lumivox: the desktop portal gave no shortcut session: %s\n",
                     created == nullptr ? bus_.failure().c_str() : "no session handle");
        keepGiven(std::nullopt);
        return;
    }
    session_ = handle;
    const auto given = portalShortcutTriggers(created);
    bool all = given.has_value();
    std::vector<std::string> triggers;
    for (const auto& [identifier, trigger] : binding_) {
        all = all && given->contains(trigger);
        triggers.push_back(trigger);
    }
    if (all) {
        keepGiven(given);
        return;
    }
    // Later desktops bind them here (asking the host about new ones, once).
    const std::string bindToken = bus_.token("lumivoxkeys");
    DBusMessage* bindCall = PortalBus::call(kGlobalShortcuts, "BindShortcuts");
    DBusMessageIter args;
    dbus_message_iter_init_append(bindCall, &args);
    const char* session = session_.c_str();
    const char* noParent = "";
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &session);
    appendPortalShortcuts(&args, triggers);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &noParent);
    PortalOptions(&args).add("handle_token", bindToken.c_str());
    bus_.send(bindCall, bindToken, kBindTimeoutMs,
              [this, attempt](DBusMessage* bound) { shortcutsBound(attempt, bound); });
    watchDeadline();
}

void PortalGlobalHotkeys::shortcutsBound(unsigned attempt, DBusMessage* bound) {
    if (attempt != attempt_) {
        return;
    }
    if (bound == nullptr) {
        std::fprintf(stderr, "lumivox: the desktop portal bound no shortcuts: %s\n",
                     bus_.failure().c_str());
        keepGiven(std::nullopt);
        return;
    }
    keepGiven(portalShortcutTriggers(bound));
}

void PortalGlobalHotkeys::keepGiven(const std::optional<std::map<std::string, std::string>>& given) {
    // Only the keys still wanted (one may have been switched off meanwhile).
    std::map<int, std::string> kept;
    for (const auto& [identifier, trigger] : held_) {
        if (given && given->contains(trigger) && !given->at(trigger).empty()) {
            kept[identifier] = trigger;
        } else {
            std::fprintf(stderr, "lumivox: the desktop did not give the shortcut %s\n",
                         trigger.c_str());
        }
    }
    held_ = std::move(kept);
    if (held_.empty()) {
        closeSession();
    }
}

void PortalGlobalHotkeys::watchDeadline() {
    const auto next = bus_.nextDeadline();
    if (!next) {
        deadline_->stop();
        return;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        *next - std::chrono::steady_clock::now());
    deadline_->start(static_cast<int>(std::max<long long>(left.count(), 0)) + 1);
}

void PortalGlobalHotkeys::closeSession() {
    bus_.closeSession(session_);
    session_.clear();
}

void PortalGlobalHotkeys::readBus() {
    bus_.readSignals(0, [this](DBusMessage* message) { onSignal(message); });
    watchDeadline();
}

void PortalGlobalHotkeys::onSignal(DBusMessage* message) {
    const char* first = nullptr;
    const char* second = nullptr;
    if (dbus_message_is_signal(message, kGlobalShortcuts, "Activated")) {
        if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_OBJECT_PATH, &first,
                                   DBUS_TYPE_STRING, &second, DBUS_TYPE_INVALID) ||
            session_ != first || !listener_) {
            return;
        }
        for (const auto& [identifier, trigger] : held_) {
            if (trigger == second) {
                HotkeyListener listener = listener_;  // the listener may unregister
                listener(identifier);
                return;
            }
        }
    } else if (dbus_message_is_signal(message, "org.freedesktop.portal.Session", "Closed")) {
        // The desktop ended it (the host may have taken the keys back): its
        // shortcuts fire nothing until the hotkeys are switched on again.
        if (session_ == dbus_message_get_path(message)) {
            session_.clear();
        }
    } else if (dbus_message_is_signal(message, "org.freedesktop.DBus", "NameOwnerChanged")) {
        // The portal ended (a crash, an update): the session went with it. Asking
        // again starts a new portal; one that fails to start leaves no keys held,
        // so this does not repeat.
        const char* owner = nullptr;
        if (dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &first, DBUS_TYPE_STRING,
                                  &second, DBUS_TYPE_STRING, &owner, DBUS_TYPE_INVALID) &&
            owner[0] == '\0' && !held_.empty()) {
            session_.clear();
            bind(held_);
        }
    }
}

}  // namespace lumivox::platform
