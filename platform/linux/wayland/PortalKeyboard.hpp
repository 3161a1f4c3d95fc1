#pragma once
// Keys through the desktop portal's RemoteDesktop service on the session bus
// (KDE Plasma lets programs type this way; it has no virtual-keyboard protocol).
// One session for the program's life; a session the portal closed, or one that
// did not take a key in time (closed by us once its keys are let go), is opened
// again at the next phrase. Everything runs on the caller's thread (the paster's
// worker), on a private bus connection of its own.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/linux/PortalBus.hpp"
#include "platform/linux/wayland/PhraseKeys.hpp"

namespace lumivox::platform::wayland {

class PortalKeyboard final : public PhraseKeys {
  public:
    // `ending` says that the program is ending: a wait for the portal stops then.
    explicit PortalKeyboard(std::function<bool()> ending) : bus_(std::move(ending)) {}
    ~PortalKeyboard() override;
    PortalKeyboard(const PortalKeyboard&) = delete;
    PortalKeyboard& operator=(const PortalKeyboard&) = delete;

    bool open() override;
    std::string missing() const override { return missing_; }
    bool enter() override;
    bool controlV() override;

  private:
    bool startSession();
    // A portal request, waited for; null when refused (`missing_` says why).
    DBusMessage* request(DBusMessage* call, const std::string& token);
    // One key call; false when the portal did not take it in time (the session
    // is then marked failed, but kept until the keys' releases have gone out).
    bool key(std::int32_t evdevCode, bool down);
    // After a phrase's keys: a failed session is closed and forgotten, so that the
    // next phrase opens a new one. Returns `sent` unless the session failed.
    bool endKeys(bool sent);

    PortalBus bus_;
    std::string session_;  // the session's object path, empty when none
    bool failed_ = false;  // a key call of this session was not answered in time
    std::string missing_;
};

}  // namespace lumivox::platform::wayland
