#pragma once
#include <string>

namespace lumivox::platform {

// Shows a modal message box with the Windows style bits (buttons 0x0F, icon
// 0xF0, default button 0xF00, task modal 0x2000, system modal 0x1000) and gives
// the Windows result (IDOK 1, IDCANCEL 2, IDABORT 3, IDRETRY 4, IDIGNORE 5,
// IDYES 6, IDNO 7, IDTRYAGAIN 10, IDCONTINUE 11), or 0 when it cannot be shown.
// Call on the GUI thread; it runs a nested event loop.
int showMessageBox(const std::string& utf8Message, unsigned style, const std::string& utf8Caption);

}  // namespace lumivox::platform
