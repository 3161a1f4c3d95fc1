#pragma once
// A private session-bus connection to the desktop portal, and its request rule:
// a portal method answers at once with a request handle, and its outcome comes
// later as that request's Response signal. Everything on the owner's thread.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <optional>
#include <string>

#include <dbus/dbus.h>

namespace lumivox::platform {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// Writes an a{sv} of options, with string and uint32 values, into a message.
class PortalOptions {
  public:
    explicit PortalOptions(DBusMessageIter* args);
    ~PortalOptions();
    PortalOptions(const PortalOptions&) = delete;
    PortalOptions& operator=(const PortalOptions&) = delete;
    PortalOptions& add(const char* key, const char* value);
    PortalOptions& add(const char* key, std::uint32_t value);
    // An entry whose value the caller writes into the open variant.
    PortalOptions& add(const char* key, const char* signature,
                       const std::function<void(DBusMessageIter* variant)>& write);

  private:
    DBusMessageIter* args_;
    DBusMessageIter dict_;
};

// The value under `key` in a Response signal's results (u response, a{sv}
// results), positioned for reading: false when it is not there.
bool findPortalResult(DBusMessage* response, const char* key, DBusMessageIter* value);
// The same for a basic value of the given type (a string may also come as an
// object path).
bool findPortalResult(DBusMessage* response, const char* key, int type, void* value);

class PortalBus {
  public:
    // `ending` says that the program is ending: a wait for the portal stops then.
    explicit PortalBus(std::function<bool()> ending = [] { return false; })
        : ending_(std::move(ending)) {}
    ~PortalBus();
    PortalBus(const PortalBus&) = delete;
    PortalBus& operator=(const PortalBus&) = delete;

    // Connects on the first call (subscribed to the answers of our requests and to
    // sessions the portal closes); false when there is no session bus.
    bool connect();
    bool connected() const { return bus_ != nullptr; }
    DBusConnection* connection() const { return bus_; }
    // Subscribes to signals (a match rule, as the bus takes it).
    void listen(const std::string& rule);

    // A token no earlier request of this connection used.
    std::string token(const std::string& base);
    // A method call on the portal's object.
    static DBusMessage* call(const char* interface, const char* method);
    // Sends the call (taking it) and waits up to `timeoutMs` for the Response of
    // the request named by `token`: the Response (the caller unrefs it), or null
    // when refused, cancelled or not answered; `failure()` then says which.
    DBusMessage* request(DBusMessage* call, const std::string& token, int timeoutMs);
    // The same without waiting: the call goes out (taken) and `done` gets the
    // Response later, from `readSignals`, or null when the request was refused,
    // cancelled or not answered within `timeoutMs` (`failure()` says which).
    // For an owner whose thread must not wait for another program (the GUI's).
    using Answer = std::function<void(DBusMessage* response)>;
    void send(DBusMessage* call, const std::string& token, int timeoutMs, Answer done);
    // When the earliest request sent that way gives up, if any is pending: the
    // owner reads the bus then (`readSignals`), so that a silent portal ends it.
    std::optional<std::chrono::steady_clock::time_point> nextDeadline() const;
    // Forgets the requests pending: their answers, when they come, are dropped.
    void forgetPending();
    // A method call answered directly (taking it); false when it failed.
    bool callAndWait(DBusMessage* call, int timeoutMs);
    std::string failure() const { return failure_; }

    // Reads what came, waiting at most `timeoutMs`, and hands each signal that
    // no request claimed, in order, to `signal` (also those read during a request).
    void readSignals(int timeoutMs, const std::function<void(DBusMessage*)>& signal);
    // Closes a portal session (no answer waited for).
    void closeSession(const std::string& session);

  private:
    // Queues a signal, or an answer to a request sent without waiting, for the
    // owner; drops anything else.
    void keep(DBusMessage* message);
    // Hands the message to the request pending for it; false when none is.
    bool answerPending(DBusMessage* message);
    void expirePending();

    struct Pending {
        std::uint32_t serial = 0;
        std::string handle, path;  // the expected request path, and the one given
        std::chrono::steady_clock::time_point deadline;
        Answer done;
    };
    std::list<Pending> pending_;

    DBusConnection* bus_ = nullptr;
    std::string sender_;  // our unique name as request paths spell it
    std::string failure_;
    unsigned tokens_ = 0;
    std::deque<DBusMessage*> unclaimed_;
    std::function<bool()> ending_;
};

}  // namespace lumivox::platform
