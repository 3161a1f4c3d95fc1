// The Windows build has no GUI yet (the Win32 form runtime comes with the whole
// program): no thread is the GUI thread, and work for it is refused, as the
// neutral interface says for a process without a GUI.
#include "platform/GuiThread.hpp"

namespace lumivox::platform {

bool isGuiThread() {
    return false;
}

bool runOnGuiThread(const std::function<void()>&) {
    return false;
}

void endGuiThreadCalls() {}

}  // namespace lumivox::platform
