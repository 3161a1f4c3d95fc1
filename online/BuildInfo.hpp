#pragma once
// What the build decided about updates: whether this program updates itself,
// and the version text it carries (the build's own version).
#include <string_view>

namespace lumivox::online {

// True in a self-updating build: the version check runs a second after start.
bool selfUpdating();
// The version of this build ("1.0"): the text the version file names to replace it.
std::string_view builtInVersion();

}  // namespace lumivox::online
