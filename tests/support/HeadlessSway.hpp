#pragma once
// A private headless sway (a wlroots Wayland compositor) for tests. sway refuses
// to run as root: when this process is root, the compositor and every client
// started through `asUser` run as an unprivileged user (nobody), in a private
// 0700 runtime folder and home of that user's own.
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

class HeadlessSway {
  public:
    HeadlessSway();
    ~HeadlessSway();
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    // False when sway did not come up; `log()` then says why.
    bool ok() const { return !display_.empty(); }
    std::string log() const;
    // WAYLAND_DISPLAY, SWAYSOCK, the runtime folder, HOME and XDG_CONFIG_HOME in
    // that user's home, and both toolkits on Wayland.
    std::map<std::string, std::string> environment() const;
    // The command line that runs argv as the compositor's user.
    std::vector<std::string> asUser(const std::vector<std::string>& argv) const;
    // A shell command run as that user in the session; its status and standard output.
    CommandResult run(const std::string& command) const;
    // A program that user can run: the file itself, or a copy of it when the user
    // cannot reach it where it lies (a build tree in a private folder).
    std::filesystem::path reachable(const std::filesystem::path& program) const;
    // A folder of the session that the user owns (under its home).
    std::filesystem::path userFolder(const std::string& name) const;
    // The title of the window that has the keyboard focus ("" when none).
    std::string focusedTitle() const;

  private:
    TempDir root_;  // runtime/, home/, bin/: all the user's
    uid_t uid_ = 0;
    std::filesystem::path runtime_, home_;
    std::string display_, swaySocket_;
    std::unique_ptr<Subprocess> sway_;
};

}  // namespace lumivox::testing
