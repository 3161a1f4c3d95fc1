// Random bytes on Windows: BCryptGenRandom with the system's preferred generator.
#include <windows.h>

#include <bcrypt.h>

#include "platform/Random.hpp"

namespace lumivox::platform {

bool fillRandomBytes(std::span<std::uint8_t> bytes) {
    return BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace lumivox::platform
