#pragma once
// The GUI thread: the one thread that owns windows, the clipboard and message boxes.
#include <functional>

namespace lumivox::platform {

// True when a GUI exists and the caller is its thread.
bool isGuiThread();
// Runs the work on the GUI thread and waits for it (at once when already there).
// False, without running it, when there is no GUI or the GUI thread no longer
// serves other threads (its message loop has returned, or the program is ending):
// a worker then never waits on a thread that will not come back to it.
bool runOnGuiThread(const std::function<void()>& work);
// From now on the GUI thread takes no more work from other threads, and callers
// waiting for work it has not started get false at once. Called as the program
// ends; the end of the application's message loop does the same by itself.
void endGuiThreadCalls();
// Runs the work once on the GUI thread, from its event loop, no sooner than
// delayMs from now. Call on the GUI thread; the caller never waits.
void runOnGuiThreadLater(int delayMs, std::function<void()> work);
// Runs `attempt` on the GUI thread every `everyMs` until it gives true, at most
// `tries` times (the first now). For what another copy of the program may still
// hold for a moment as it leaves (after an update). Call on the GUI thread.
void retryOnGuiThread(int tries, int everyMs, std::function<bool()> attempt);

}  // namespace lumivox::platform
