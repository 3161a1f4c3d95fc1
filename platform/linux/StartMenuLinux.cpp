#include "platform/StartMenu.hpp"

namespace lumivox::platform {

bool pointStartMenuEntryAt(const std::string&) {
    return false;  // the desktop entry is the package's and names the command
}

}  // namespace lumivox::platform
