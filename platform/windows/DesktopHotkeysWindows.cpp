// Windows hotkeys are the system's own (RegisterHotKey); no desktop service sits
// above them.
#include "platform/GlobalHotkeys.hpp"

namespace lumivox::platform {

GlobalHotkeys* desktopGlobalHotkeys() {
    return nullptr;
}

}  // namespace lumivox::platform
