#pragma once
// A desktop's own way to paste a phrase into the focused window, for sessions the
// key-injection and clipboard route of the GUI toolkit cannot reach (Wayland).
#include <string>

namespace lumivox::platform {

class PhrasePaster {
  public:
    virtual ~PhrasePaster() = default;
    // Enter, the UTF-8 text on the clipboard, Ctrl+V, and Enter once the focused
    // window has fetched the text; then the host's earlier clipboard text is put
    // back. Returns at once; phrases queue up and go out one by one in order.
    // Call on the GUI thread.
    virtual void pastePhrase(const std::string& utf8) = 0;
};

// The desktop's paster, or nullptr where the toolkit's route is the right one
// (X11, Windows). Made on first call (call it on the GUI thread).
PhrasePaster* desktopPhrasePaster();

}  // namespace lumivox::platform
