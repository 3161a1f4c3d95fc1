// Random bytes on Linux: getrandom(2) from the kernel's generator, which blocks
// only until it was first seeded at boot.
#include <sys/random.h>

#include <cerrno>

#include "platform/Random.hpp"

namespace lumivox::platform {

bool fillRandomBytes(std::span<std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + done, bytes.size() - done, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace lumivox::platform
