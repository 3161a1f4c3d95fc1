#pragma once
// The GUI thread: the one thread that owns windows, the clipboard and message boxes.
#include <functional>

namespace lumivox::platform {

// True when a GUI exists and the caller is its thread.
bool isGuiThread();
// Runs the work on the GUI thread and waits for it (at once when already there).
// False, without running it, when there is no GUI.
bool runOnGuiThread(const std::function<void()>& work);

}  // namespace lumivox::platform
