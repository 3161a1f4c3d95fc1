#include "online/BuildInfo.hpp"

#if !defined(LUMIVOX_SELF_UPDATE) || !defined(LUMIVOX_VERSION_TEXT)
#error "the build says whether it updates itself and names its version (online/Update.cmake)"
#endif

namespace lumivox::online {

bool selfUpdating() {
    return LUMIVOX_SELF_UPDATE != 0;
}

std::string_view builtInVersion() {
    return LUMIVOX_VERSION_TEXT;
}

}  // namespace lumivox::online
