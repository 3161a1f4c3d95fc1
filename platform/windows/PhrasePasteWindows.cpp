// Windows pastes through its own clipboard and SendInput, the toolkit's route.
#include "platform/PhrasePaste.hpp"

namespace lumivox::platform {

PhrasePaster* desktopPhrasePaster() {
    return nullptr;
}

}  // namespace lumivox::platform
