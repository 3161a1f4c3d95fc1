#pragma once
// UTF-8 inside the program, UTF-16 at the Win32 boundary.
#include <string>
#include <string_view>

namespace lumivox::platform {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

}  // namespace lumivox::platform
