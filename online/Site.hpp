#pragma once
// The maker's web server: its host, and the URLs of its pages and files.
#include <string_view>

#include "base/Types.hpp"

namespace lumivox::online {

// host[:port] from LUMIVOX_SERVER when set and not empty, else the host the
// program was built with. Read here and nowhere else.
Text serverHost();

// "http://" + serverHost() + path.
Text siteUrl(std::string_view path);

}  // namespace lumivox::online
