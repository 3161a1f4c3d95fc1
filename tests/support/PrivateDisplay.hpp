#pragma once
// A private X server (Xvfb) for tests that run beside others: its display number
// is claimed with an exclusive claim file in a range of its own, so concurrent
// tests never start two servers on one number (two such servers split the
// display's sockets between them and clients reach the wrong one). It does not
// reset when its last client leaves, so short-lived clients (xwininfo, xdotool)
// never make it refuse the program under test.
#include <sys/types.h>

#include <map>
#include <memory>
#include <string>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

// Where a top-level window lies on the screen (outer edges, as xwininfo says);
// -1 and not viewable when there is no window of that title.
struct WindowGeometry {
    int x = -1, y = -1, width = -1, height = -1;
    bool viewable = false;
};

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

    // An X client command line (xdotool, xwininfo, import) run on this display;
    // what it prints on standard output, its errors dropped.
    std::string x(const std::string& command) const;
    // The window of that exact title.
    WindowGeometry geometry(const std::string& title) const;
    // A left click at a point of that window, relative to its upper-left corner.
    void click(const std::string& title, int left, int top) const;

  private:
    bool start(int number, int width, int height);

    TempDir runtimeDir_;
    std::string display_;
    int number_ = -1;
    std::unique_ptr<Subprocess> server_;
};

}  // namespace lumivox::testing
