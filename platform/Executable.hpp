#pragma once
// The program's own file, and programs downloaded beside it. Paths are UTF-8.
#include <string>

namespace lumivox::platform {

// What the platform's executables end with: "" on Linux, ".exe" on Windows.
const char* executableSuffix();

// The folder of the running program's file, without a trailing separator, or
// the empty string when it cannot be learned.
std::string programFolder();

// Lets the file be run (by whoever may read it); false when that cannot be set.
bool makeExecutable(const std::string& path);

}  // namespace lumivox::platform
