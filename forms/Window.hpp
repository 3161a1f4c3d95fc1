#pragma once
// The neutral face of a loaded window: handlers and engines reach its controls
// by layout name and read or write their properties without seeing Qt. The form
// runtime implements it. Layout names are UTF-8 (as in the source); texts are GBK.
// Every call is made on the GUI thread.
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/Types.hpp"

namespace lumivox {

class Window;

// The program's windows as a whole: handlers of one window reach another (the
// update window reads the main window's text stores) and open windows by layout.
class Forms {
  public:
    virtual ~Forms() = default;
    // The open window of that layout, or null.
    virtual Window* openWindow(std::string_view layout) = 0;
    // Opens a window of that layout. An open one is only brought forward. In dialog
    // mode the parent is ignored, every other window is disabled while this one is
    // open, and the call returns once it has closed. False when it cannot be made
    // (unknown layout, a parent that is no longer open, a picture that does not decode).
    virtual bool loadWindow(std::string_view layout, Window* parent, bool dialogMode) = 0;
};

class Window {
  public:
    virtual ~Window() = default;

    virtual bool hasControl(std::string_view name) const = 0;

    // `visible` of any control.
    virtual bool visible(std::string_view name) const = 0;
    virtual void setVisible(std::string_view name, bool visible) = 0;

    // The whole text of an edit box. Writing the text of a hidden or clipped box
    // stores it all the same.
    virtual Text text(std::string_view editBox) const = 0;
    virtual void setText(std::string_view editBox, const Text& text) = 0;
    // Appends at the end of an edit box and scrolls the caret into view (not undoable).
    virtual void appendText(std::string_view editBox, const Text& text) = 0;

    // The caption of an image button, transparent label or label.
    virtual Text caption(std::string_view name) const = 0;
    virtual void setCaption(std::string_view name, const Text& caption) = 0;

    // Timer period in ms: 0 or less stops it, above 0 (re)starts it.
    virtual int interval(std::string_view timer) const = 0;
    virtual void setInterval(std::string_view timer, int intervalMs) = 0;

    // Progress bar value (0 to 100).
    virtual int position(std::string_view progressBar) const = 0;
    virtual void setPosition(std::string_view progressBar, int position) = 0;

    // Open-file dialog: the file name set before showing, the full path chosen after.
    virtual Text fileName(std::string_view dialog) const = 0;
    virtual void setFileName(std::string_view dialog, const Text& fileName) = 0;
    // Shows the dialog modally; true when the host confirmed a file.
    virtual bool openFileDialog(std::string_view dialog) = 0;

    // The window's own position on the screen (`left`, `top`).
    virtual int left() const = 0;
    virtual int top() const = 0;
    virtual void move(int left, int top) = 0;

    virtual void resize(int width, int height) = 0;

    // The text of one part (0-based) of a status bar.
    virtual Text statusText(std::string_view statusBar, int part) const = 0;
    virtual void setStatusText(std::string_view statusBar, int part, const Text& text) = 0;

    // A picture box shows these pixels (rows top down, each 0x00RRGGBB) in place
    // of its picture, stretched to its size (a code made at runtime, such as
    // the QR code of the remote panel's link). Other kinds ignore it.
    virtual void setPicturePixels(std::string_view pictureBox, int width, int height,
                                  const std::vector<std::uint32_t>& pixels) = 0;

    // Raises the notification event of a label (the hotkey service's report) with
    // its two integers; the bound handler runs before this returns.
    virtual void raiseNotification(std::string_view label, std::int32_t first,
                                   std::int32_t second) = 0;

    // Closes the window (its controls go with it).
    virtual void close() = 0;

    // The layout this window was made from, and all the program's windows.
    virtual std::string_view layoutName() const = 0;
    virtual Forms& forms() = 0;
};

}  // namespace lumivox
