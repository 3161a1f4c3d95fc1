#pragma once
// A window built from a layout on Win32: one top-level window (its client size,
// caption, icon), one child window per control (a store's once it is shown),
// SetTimer timers. What the controls hold and when events run is the form
// core's; this is the Win32 part of it. All on the GUI thread.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "forms/FormCore.hpp"

namespace lumivox::win32 {

class Win32Forms;

inline constexpr wchar_t kFormClass[] = L"LumivoxForm";

class Win32Window final : public FormCore {
  public:
    // Registers the top-level window class (once per process).
    static void registerClass();
    Win32Window(Win32Forms& forms, const layout::WindowLayout& layout);
    ~Win32Window() override;

    // Creates the window and every control; false when the layout cannot be
    // built (a parent not laid out before its child, a picture the program
    // does not carry).
    bool build();
    HWND handle() const { return window_; }
    // The system window of a control (null for timers, dialogs, stores without
    // one yet and unknown names).
    HWND controlHandle(std::string_view name) const;

    // Window (the rest is the core's)
    int left() const override;
    int top() const override;
    void move(int left, int top) override;

  private:
    // The form core's toolkit part (the control kinds' child windows in
    // Win32ControlWindows.cpp).
    LUMIVOX_FORM_TOOLKIT_PART

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    HWND at(int order) const;
    HWND parentOf(const layout::Control& spec) const;
    HWND makeChild(const layout::Control& spec, HWND parent);
    // Every child placed, and given its font and pictures, at the window's DPI.
    void relayControls();
    // The window moved to a monitor of another DPI: the suggested rectangle
    // (*outer), the client area scaled, the controls re-laid.
    void dpiChanged(int dpi, const RECT& outer);
    void setIcons();
    void paintBackground(HDC dc) const;
    void endHoverOfButtons() const;

    Win32Forms& runtime_;
    HWND window_ = nullptr;
    int dpi_ = 96;  // the window's; the layout's pixels are 96-DPI ones
    // The client size the layout or program gave, in the layout's pixels.
    int layoutWidth_ = 0;
    int layoutHeight_ = 0;
    std::vector<HWND> children_;  // by creation order; null: none (yet)
    std::vector<layout::Control> specs_;  // each child's layout, by creation order
    // Edit boxes: what each was given to show for the text the program wrote;
    // until the host changes the box it reads back the written bytes.
    std::vector<std::wstring> shownForWritten_;
    std::vector<HWND> buttons_;  // image buttons, whose mouse-over state ends with the focus
};

}  // namespace lumivox::win32
