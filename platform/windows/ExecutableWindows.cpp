#include <windows.h>

#include <filesystem>

#include "platform/Executable.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {

const char* executableSuffix() {
    return ".exe";
}

std::string programFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2);  // cut short: a longer path
    }
    return narrow(std::filesystem::path(buffer).parent_path().wstring());
}

// Windows runs any file it can read whose name ends in .exe: nothing to set.
bool makeExecutable(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace lumivox::platform
