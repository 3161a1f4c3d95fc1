#pragma once
// A window of the GUI thread that only receives messages (hotkeys, clipboard
// requests) and is never shown.
#include <windows.h>

namespace lumivox::platform {

// Registers the class (once per name) and makes the window; `self` is kept in
// GWLP_USERDATA for the procedure. parent: HWND_MESSAGE for a message-only
// window, null for a hidden top-level one. Null when it cannot be made.
HWND makeHelperWindow(const wchar_t* className, WNDPROC procedure, void* self, HWND parent);

}  // namespace lumivox::platform
