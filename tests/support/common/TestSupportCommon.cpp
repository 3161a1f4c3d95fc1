// The test helpers that are the same on Linux and Windows.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

namespace fs = std::filesystem;

bool onCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

#if defined(LUMIVOX_TEST_SOURCE_DIR) && defined(LUMIVOX_TEST_BINARY_DIR)
constexpr const char* kBuiltSourceDir = LUMIVOX_TEST_SOURCE_DIR;
constexpr const char* kBuiltBinaryDir = LUMIVOX_TEST_BINARY_DIR;
#else
constexpr const char* kBuiltSourceDir = nullptr;
constexpr const char* kBuiltBinaryDir = nullptr;
#endif

fs::path sourceDir() {
    const char* dir = std::getenv("LUMIVOX_SOURCE_DIR");
    return dir ? fs::path(dir) : kBuiltSourceDir ? fs::path(kBuiltSourceDir) : fs::current_path();
}

fs::path binaryDir() {
    const char* dir = std::getenv("LUMIVOX_BINARY_DIR");
    return dir ? fs::path(dir) : kBuiltBinaryDir ? fs::path(kBuiltBinaryDir) : fs::current_path();
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

bool waitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string wholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace lumivox::testing
