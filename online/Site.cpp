#include "online/Site.hpp"

#include <cstdlib>

#include "base/Encoding.hpp"
#include "base/TextOps.hpp"

#ifndef LUMIVOX_DEFAULT_SERVER
#error "the build names the maker's server (LUMIVOX_DEFAULT_SERVER)"
#endif

namespace lumivox::online {

Text serverHost() {
    const char* configured = std::getenv("LUMIVOX_SERVER");
    if (configured != nullptr && configured[0] != '\0') {
        return utf8ToGbk(configured);
    }
    return LUMIVOX_DEFAULT_SERVER;
}

Text siteUrl(std::string_view path) {
    return joinTexts("http://", serverHost(), path);
}

}  // namespace lumivox::online
