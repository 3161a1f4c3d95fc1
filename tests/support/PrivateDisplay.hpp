#pragma once
// A private X server (Xvfb) that picks its own free display number and reports
// it once it accepts clients (-displayfd), so concurrent tests never race for the
// same number and nothing polls for the socket. It does not reset when its last
// client leaves, so short-lived clients (xwininfo, xdotool) never make it refuse
// the program under test.
#include <sys/types.h>

#include <map>
#include <string>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

class PrivateDisplay {
  public:
    explicit PrivateDisplay(int width = 1280, int height = 1024);
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // False when the server did not come up (then display() is empty).
    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }
    // DISPLAY, a private 0700 XDG_RUNTIME_DIR, and Qt's X11 platform.
    std::map<std::string, std::string> environment() const;

  private:
    TempDir runtimeDir_;
    std::string display_;
    pid_t pid_ = -1;
};

}  // namespace lumivox::testing
