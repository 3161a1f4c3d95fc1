#pragma once
// A private headless KWin (KDE's Wayland compositor) on a private session bus,
// for tests. The bus starts the desktop portal and its KDE backend on demand,
// with this session's Wayland display. KWin also serves KDE's global shortcut
// service on that bus.
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

class HeadlessKwin {
  public:
    // What of KDE's packages is not installed ("" when all are), for LUMIVOX_NEEDS_INSTALLED.
    static std::string missingPackages();

    // Without the portal: the bus cannot start the desktop portal.
    enum class Portal { Present, Absent };
    explicit HeadlessKwin(Portal portal = Portal::Present);
    ~HeadlessKwin();
    HeadlessKwin(const HeadlessKwin&) = delete;
    HeadlessKwin& operator=(const HeadlessKwin&) = delete;

    // False when KWin or the bus did not come up; `log()` then says why.
    bool ok() const { return ok_; }
    std::string log() const;
    // WAYLAND_DISPLAY, the bus, the runtime folder, HOME and XDG_CONFIG_HOME in a
    // home of the session's own, XDG_CURRENT_DESKTOP=KDE, both toolkits on Wayland.
    std::map<std::string, std::string> environment() const;
    // A shell command run in the session; its status and standard output.
    CommandResult run(const std::string& command) const;
    // A folder of the session (under its home).
    std::filesystem::path folder(const std::string& name) const;
    // The value of a JavaScript expression in KWin's scripting (`workspace` is
    // the desktop), as text; "" when it gave none.
    std::string evaluate(const std::string& expression);
    // Keys and clicks as a person gives them, through a portal session of the
    // caller's own (steps as `portal_input.py` takes them); the exit status.
    int input(const std::string& steps) const;
    // The caption of the window that has the keyboard focus ("" when none).
    std::string focusedTitle();

  private:
    TempDir root_;  // runtime/, home/, bin/, bus
    std::filesystem::path runtime_, home_;
    std::string busAddress_;
    bool ok_ = false;
    int scripts_ = 0;
    std::unique_ptr<Subprocess> bus_, kwin_;
};

}  // namespace lumivox::testing
