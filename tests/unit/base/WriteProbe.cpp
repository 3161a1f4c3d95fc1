#include <csignal>
#include <cstdlib>

#include "platform/SystemOps.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    lumivox::ByteData data(static_cast<size_t>(std::atol(argv[2])), 'n');
    return lumivox::writeWholeFile(argv[1], data) ? 0 : 1;
}
