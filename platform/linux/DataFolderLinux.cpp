// The data folder on Linux: "Lumivox" in the user's configuration folder,
// `$XDG_CONFIG_HOME` when it is an absolute path, else `~/.config`.
#include <cstdlib>

#include "platform/DataFolder.hpp"

namespace lumivox::platform {

std::string dataFolder() {
    std::string base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base + "/Lumivox";
}

}  // namespace lumivox::platform
