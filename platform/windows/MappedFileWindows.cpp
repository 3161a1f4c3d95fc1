// The download target on Windows: CREATE_NEW, the whole length set on disk,
// and one writable view of a file mapping. The file and mapping handles are
// closed once the view exists: the view keeps the mapping alive.
#include <windows.h>

#include "platform/MappedFile.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {

std::unique_ptr<MappedFile> MappedFile::createNew(const std::string& path, std::uint64_t length) {
    if (length == 0 || length > static_cast<std::uint64_t>(SIZE_MAX / 2)) {
        return nullptr;
    }
    const std::wstring wide = widen(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // Setting the end of a new (not sparse) file makes NTFS allocate every
    // cluster at once, so that a full disk fails here and not as an in-page
    // error on a later write through the view.
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    void* view = nullptr;
    if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
        if (mapping != nullptr) {
            view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(length));
            CloseHandle(mapping);
        }
    }
    CloseHandle(file);
    if (view == nullptr) {
        DeleteFileW(wide.c_str());  // ours: it was created just now
        return nullptr;
    }
    return std::unique_ptr<MappedFile>(new MappedFile(static_cast<std::uint8_t*>(view), length));
}

MappedFile::~MappedFile() {
    UnmapViewOfFile(data_);
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
