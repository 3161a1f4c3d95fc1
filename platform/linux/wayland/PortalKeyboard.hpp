#pragma once
// Keys through the desktop portal's RemoteDesktop service on the session bus
// (KDE Plasma lets programs type this way; it has no virtual-keyboard protocol).
// One session for the program's life; a session the portal closed is opened
// again at the next phrase. Everything runs on the caller's thread (the paster's
// worker), on a private bus connection of its own.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/linux/wayland/PhraseKeys.hpp"

struct DBusConnection;
struct DBusMessage;

namespace lumivox::platform::wayland {

class PortalKeyboard final : public PhraseKeys {
  public:
    // `ending` says that the program is ending: a wait for the portal stops then.
    explicit PortalKeyboard(std::function<bool()> ending) : ending_(std::move(ending)) {}
    ~PortalKeyboard() override;
    PortalKeyboard(const PortalKeyboard&) = delete;
    PortalKeyboard& operator=(const PortalKeyboard&) = delete;

    bool open() override;
    std::string missing() const override { return missing_; }
    bool enter() override;
    bool controlV() override;

  private:
    bool connectBus();
    bool startSession();
    // Sends a portal request and waits for its Response signal; the reply's
    // results (an a{sv} message positioned on them), or null when refused.
    DBusMessage* request(DBusMessage* call, const std::string& token);
    bool key(std::int32_t evdevCode, bool down);
    void readSignals(int timeoutMs);

    DBusConnection* bus_ = nullptr;
    std::string sender_;   // our unique name as request paths spell it
    std::string session_;  // the session's object path, empty when none
    std::string missing_;
    unsigned tokens_ = 0;
    std::function<bool()> ending_;
};

}  // namespace lumivox::platform::wayland
