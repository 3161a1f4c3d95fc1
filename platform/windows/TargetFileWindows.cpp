// The download target on Windows: CREATE_NEW, the whole length set on disk,
// then positioned writes (WriteFile with an offset in the OVERLAPPED record) from
// the segment threads through the one handle, held until the download ends.
#include <windows.h>

#include <algorithm>

#include "platform/TargetFile.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {

std::unique_ptr<TargetFile> TargetFile::createNew(const std::string& path, std::uint64_t length) {
    if (length == 0 || length > static_cast<std::uint64_t>(INT64_MAX / 2)) {
        return nullptr;
    }
    const std::wstring wide = widen(path);
    // Others may read it meanwhile (as through the mapped view before), not
    // write, rename or delete it.
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // Setting the end of a new (not sparse) file makes NTFS allocate every
    // cluster at once, so that a full disk fails here and not in a later write.
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
        CloseHandle(file);
        DeleteFileW(wide.c_str());  // ours: it was created just now
        return nullptr;
    }
    return std::unique_ptr<TargetFile>(
        new TargetFile(reinterpret_cast<std::intptr_t>(file), length));
}

TargetFile::~TargetFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool TargetFile::writeAt(std::uint64_t offset, const void* bytes, std::size_t size) {
    if (offset > size_ || size > size_ - offset) {
        return false;
    }
    const char* from = static_cast<const char*>(bytes);
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), from, chunk, &written, &at) ||
            written == 0) {
            return false;
        }
        from += written;
        offset += written;
        size -= written;
    }
    return true;
}

bool canOpenForReading(const std::string& path) {
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool isFile = GetFileType(file) == FILE_TYPE_DISK;
    CloseHandle(file);
    return isFile;
}

bool pathExists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace lumivox::platform
