#pragma once
// Files carried inside the executable (pictures, the program icon), found by
// file name. Plain C++: no Qt.
#include <cstdint>
#include <span>
#include <string_view>

namespace lumivox::assets {

// The bytes of the embedded file of that name, or an empty span.
std::span<const std::uint8_t> find(std::string_view name);

}  // namespace lumivox::assets
