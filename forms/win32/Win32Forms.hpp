#pragma once
// The Win32 form runtime: the program's windows built from their layouts (one
// window per layout), one child window per control, each control event
// dispatched to the handler the event wiring binds. Dialog-mode windows run a
// nested message loop with the others disabled; Esc closes a window whose
// layout says so, whichever of its controls has the focus. All on the GUI thread.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/Event.hpp"
#include "forms/Layout.hpp"
#include "forms/Window.hpp"

namespace lumivox::win32 {

class Win32Window;

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
    // Esc for the windows that close on it, Tab between controls.
    bool preTranslate(MSG& message);
    // Frees windows that are gone (only where no handler of theirs can run).
    void collect();

    std::function<const layout::WindowLayout*(std::string_view)> findLayout_;
    const std::vector<Binding>& wiring_;
    std::vector<std::unique_ptr<Win32Window>> windows_;
    bool quitPosted_ = false;
};

class Win32Window final : public Window {
  public:
    Win32Window(Win32Forms& forms, const layout::WindowLayout& layout);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Creates the window and every control; false when the layout cannot be
    // built (a parent not laid out before its child, a picture that does not decode).
    bool build();
    HWND handle() const { return window_; }
    const layout::WindowLayout& layout() const { return layout_; }
    bool closing() const { return closing_; }
    bool gone() const { return gone_; }
    // Runs the handler bound to that event, if any.
    void dispatch(Event event);
    // The system window of a control (null for timers, dialogs, stores without
    // one yet and unknown names).
    HWND controlHandle(std::string_view name) const;
    // Other windows that this dialog-mode window disabled, given back their
    // state when it closes.
    void disableOthersWhileOpen(std::vector<std::pair<Win32Window*, bool>> others);

    // Window
    bool hasControl(std::string_view name) const override;
    bool visible(std::string_view name) const override;
    void setVisible(std::string_view name, bool visible) override;
    Text text(std::string_view editBox) const override;
    void setText(std::string_view editBox, const Text& text) override;
    void appendText(std::string_view editBox, const Text& text) override;
    Text caption(std::string_view name) const override;
    void setCaption(std::string_view name, const Text& caption) override;
    int interval(std::string_view timer) const override;
    void setInterval(std::string_view timer, int intervalMs) override;
    int position(std::string_view progressBar) const override;
    void setPosition(std::string_view progressBar, int position) override;
    Text fileName(std::string_view dialog) const override;
    void setFileName(std::string_view dialog, const Text& fileName) override;
    bool openFileDialog(std::string_view dialog) override;
    int left() const override;
    int top() const override;
    void move(int left, int top) override;
    void resize(int width, int height) override;
    Text statusText(std::string_view statusBar, int part) const override;
    void setStatusText(std::string_view statusBar, int part, const Text& text) override;
    void raiseNotification(std::string_view label, std::int32_t first,
                           std::int32_t second) override;
    void close() override;
    std::string_view layoutName() const override { return layout_.name; }
    Forms& forms() override;

  private:
    struct Control {
        layout::Kind kind;
        std::string parent;  // its parent control's name; empty: the window
        int order = 0;       // creation order, kept by windows made later
        HWND handle = nullptr;
        UINT_PTR timerId = 0;
        int intervalMs = 0;  // as set, before the platform minimum
        Text fileName = {};  // open-file dialogs
        Text caption = {};   // as written, read back byte for byte
        std::vector<Text> statusTexts = {};
        // Edit boxes: the text as the program wrote it, and what the box was
        // given to show for it. Until the host changes the box it reads back
        // these bytes (GBK that has no Unicode form included).
        Text written = {};
        std::wstring shownForWritten = {};
        // An edit box that nothing shows when the window is made (hidden, inside
        // a hidden control, or outside the window) gets no system window until
        // a call shows it or a control it lies in; its layout lives here.
        std::optional<layout::Control> store = {};
    };
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    const Control* find(std::string_view name, layout::Kind kind) const;
    Control* find(std::string_view name, layout::Kind kind);
    bool makeControl(const layout::Control& spec);
    HWND parentHandle(const std::string& parent) const;
    bool showsNothing(const layout::Control& spec) const;
    HWND makeEditBox(const layout::Control& spec, HWND parent);
    void makeStore(Control& control);
    void makeStoresBelow(std::string_view name);
    void showEditText(Control& control);
    void paintBackground(HDC dc) const;
    void endHoverOfButtons() const;
    void giveBackOthers();

    Win32Forms& forms_;
    const layout::WindowLayout& layout_;
    HWND window_ = nullptr;
    std::map<std::string, Control, std::less<>> controls_;
    std::map<UINT_PTR, std::string> timers_;
    int made_ = 0;
    bool closing_ = false;
    bool closingByProgram_ = false;
    bool gone_ = false;
    std::vector<std::pair<Win32Window*, bool>> disabledOthers_;
};

// The platform minimum of a timer period (USER_TIMER_MINIMUM).
inline constexpr int kMinimumTimerMs = 10;

}  // namespace lumivox::win32
