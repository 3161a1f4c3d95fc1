#include <windows.h>

#include "platform/MessageBox.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {

// The style bits and results are the system's own; MessageBoxW gives 0 when
// the box cannot be shown.
int showMessageBox(const std::string& utf8Message, unsigned style, const std::string& utf8Caption) {
    return MessageBoxW(nullptr, widen(utf8Message).c_str(), widen(utf8Caption).c_str(), style);
}

}  // namespace lumivox::platform
