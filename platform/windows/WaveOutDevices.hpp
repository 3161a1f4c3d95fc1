#pragma once
// The waveOut devices by name (the names their capabilities give, UTF-8).
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace lumivox::platform {

std::vector<std::string> waveOutDeviceNames();
// The device's number now, or nothing when no device has that name.
std::optional<UINT> waveOutDeviceByName(const std::string& name);

}  // namespace lumivox::platform
