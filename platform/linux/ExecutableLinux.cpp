#include <sys/stat.h>

#include <filesystem>

#include "platform/Executable.hpp"

namespace lumivox::platform {

const char* executableSuffix() {
    return "";
}

std::string programFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.parent_path().string();
}

bool makeExecutable(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    // Execute for each class that may read it.
    const mode_t read = info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
    return ::chmod(path.c_str(), info.st_mode | (read >> 2)) == 0;
}

}  // namespace lumivox::platform
