#pragma once
// Secret random bytes from the operating system's generator (tokens).
#include <cstddef>
#include <cstdint>
#include <span>

namespace lumivox::platform {

// Fills `bytes` from the system's cryptographic generator; false (the bytes then
// unusable) when it cannot. Any thread.
bool fillRandomBytes(std::span<std::uint8_t> bytes);

}  // namespace lumivox::platform
