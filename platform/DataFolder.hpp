#pragma once
// Where the program keeps its saved files. UTF-8, without a trailing separator.
#include <string>

namespace lumivox::platform {

// The data folder (made by the caller when missing).
std::string dataFolder();

}  // namespace lumivox::platform
