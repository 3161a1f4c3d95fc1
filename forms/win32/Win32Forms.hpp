#pragma once
// The Win32 form runtime: the program's windows opened from their layouts (one
// window per layout), the message loop, dialog-mode windows in a nested loop,
// and Esc seen in the loop, so whichever control has the focus. All on the GUI
// thread.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forms/Event.hpp"
#include "forms/Layout.hpp"
#include "forms/Window.hpp"
#include "forms/win32/Win32Window.hpp"

namespace lumivox::win32 {

class Win32Forms final : public Forms {
  public:
    // `findLayout` names the layouts it can open and `wiring` binds their events
    // (the program's, or a test's). Registers the window classes.
    explicit Win32Forms(std::function<const layout::WindowLayout*(std::string_view)> findLayout,
                        const std::vector<Binding>& wiring);
    ~Win32Forms() override;
    Win32Forms(const Win32Forms&) = delete;
    Win32Forms& operator=(const Win32Forms&) = delete;

    Window* openWindow(std::string_view layout) override;
    bool loadWindow(std::string_view layout, Window* parent, bool dialogMode) override;

    // The message loop: returns the exit code once the last window has closed
    // (0) or something posted a quit message.
    int run();

    // Dispatches the messages waiting now (as the loop would), then returns;
    // false once a quit message came (it is posted again).
    bool processPendingMessages();

    const std::vector<Binding>& wiring() const { return wiring_; }
    Win32Window* openForm(std::string_view layout) const;
    Win32Window* formOf(HWND topLevel) const;
    // Called by a window as its system window is destroyed.
    void windowDestroyed(Win32Window* window);

  private:
    // Takes and dispatches one message; false on a quit message, which is
    // posted again for the loop outside.
    bool pumpOne();
    // Hands a message to its window, unless preTranslate took it.
    void deliver(MSG& message);
    // Esc for the windows that close on it, Tab between controls.
    bool preTranslate(MSG& message);
    // Frees windows that are gone (only where no handler of theirs can run).
    void collect();

    std::function<const layout::WindowLayout*(std::string_view)> findLayout_;
    const std::vector<Binding>& wiring_;
    std::vector<std::unique_ptr<Win32Window>> windows_;
    // Windows opened from another (not in dialog mode) and that other.
    std::vector<std::pair<Win32Window*, const FormCore*>> owned_;
    bool quitPosted_ = false;
};

}  // namespace lumivox::win32
