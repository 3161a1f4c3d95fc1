#pragma once
// The Windows side of the GUI thread: the thread that runs the form runtime's
// message loop declares itself, and from then on takes work from other threads
// through a message-only window of its own.
namespace lumivox::platform {

// Makes the calling thread the GUI thread and starts taking work from other
// threads (in every message loop it runs, nested ones included). False when
// the window that receives the work cannot be made.
bool serveGuiThreadCalls();

}  // namespace lumivox::platform
