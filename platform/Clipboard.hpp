#pragma once
#include <string>

namespace lumivox::platform {

// Puts UTF-8 text on the system clipboard (the CLIPBOARD selection on X11).
// Call on the GUI thread. False when there is no clipboard.
bool setClipboardText(const std::string& utf8);

}  // namespace lumivox::platform
