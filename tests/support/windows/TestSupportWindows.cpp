// The part of the test helpers that the Windows build of the tests uses and that
// differs from Linux: temporary folders and commands (common/ has the rest).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    const fs::path base = fs::temp_directory_path();
    // The process number and a counter name a folder that no other test run holds.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            base / ("lumivox-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(++counter) + "-" + std::to_string(GetTickCount64()));
        if (CreateDirectoryW(candidate.wstring().c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

// Through the system's command interpreter (cmd.exe) here.
CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = _popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, n);
    }
    result.status = _pclose(pipe);
    return result;
}

}  // namespace lumivox::testing
