#pragma once
// Phrases into the focused window of a Wayland desktop, on a connection of the
// program's own (no window, no focus needed): the clipboard through the
// data-control protocol, the keys through one long-lived virtual keyboard, or
// the RemoteDesktop portal's keyboard where the compositor offers none (KDE).
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/PhrasePaste.hpp"

namespace lumivox::platform::wayland {

// What the compositor offers this program.
struct WaylandAbilities {
    bool connected = false;
    bool dataControl = false;      // the clipboard without focus
    bool virtualKeyboard = false;  // keys into the focused window
};

class WaylandPaster final : public PhrasePaster {
  public:
    // Connects to the session's compositor (WAYLAND_DISPLAY). `unable` is called
    // on the worker thread, with what is missing, for a phrase that cannot be
    // typed (the portal refused its keyboard).
    explicit WaylandPaster(std::function<void(const std::string&)> unable);
    ~WaylandPaster() override;
    WaylandPaster(const WaylandPaster&) = delete;
    WaylandPaster& operator=(const WaylandPaster&) = delete;

    const WaylandAbilities& abilities() const { return abilities_; }
    // The clipboard is there; the keys are the virtual keyboard or, without one,
    // the portal's, which the worker asks for (the answer comes later).
    bool canPaste() const { return abilities_.dataControl; }
    void pastePhrase(const std::string& utf8) override;

    struct Connection;  // the Wayland objects, used by the worker only

  private:
    void work();

    WaylandAbilities abilities_;
    std::unique_ptr<Connection> connection_;
    std::mutex mutex_;
    std::deque<std::string> queue_;
    bool ending_ = false;
    int wakeFd_ = -1;
    std::thread worker_;
};

}  // namespace lumivox::platform::wayland
