// Files on Windows: UTF-8 paths widened at each call, replacement through a
// temporary file beside the target and MoveFileExW.
#include <windows.h>

#include "platform/Files.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {
namespace {

struct Handle {
    HANDLE value;
    ~Handle() {
        if (value != INVALID_HANDLE_VALUE) {
            CloseHandle(value);
        }
    }
};

bool writeAll(HANDLE file, const std::uint8_t* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

bool pathMatchesAnything(const std::string& path) {
    const std::wstring wide = widen(path);
    if (path.find_first_of("*?") == std::string::npos) {
        return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    WIN32_FIND_DATAW found;
    HANDLE search =
        FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool any = false;
    do {
        const std::wstring_view name(found.cFileName);
        any = name != L"." && name != L"..";
    } while (!any && FindNextFileW(search, &found));
    FindClose(search);
    return any;
}

bool createDirectory(const std::string& path) {
    return CreateDirectoryW(widen(path).c_str(), nullptr) != 0;
}

// Each missing folder of the path in turn; the user's own folders on Windows
// (under the profile) already admit the user alone, and new ones inherit that.
bool createPrivateFolders(const std::string& path) {
    const std::wstring wide = widen(path);
    for (size_t at = wide.find_first_of(L"\\/", 3);; at = wide.find_first_of(L"\\/", at + 1)) {
        const std::wstring prefix = wide.substr(0, at);
        if (!prefix.empty() && GetFileAttributesW(prefix.c_str()) == INVALID_FILE_ATTRIBUTES) {
            CreateDirectoryW(prefix.c_str(), nullptr);
        }
        if (at == std::wstring::npos) {
            break;
        }
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ByteData readFile(const std::string& path) {
    Handle file{CreateFileW(widen(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    LARGE_INTEGER size;
    if (file.value == INVALID_HANDLE_VALUE || GetFileType(file.value) != FILE_TYPE_DISK ||
        !GetFileSizeEx(file.value, &size) || size.QuadPart <= 0) {
        return {};
    }
    ByteData data(static_cast<size_t>(size.QuadPart));
    size_t got = 0;
    while (got < data.size()) {
        const size_t left = data.size() - got;
        DWORD n = 0;
        if (!ReadFile(file.value, data.data() + got,
                      left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left), &n, nullptr) ||
            n == 0) {
            break;
        }
        got += n;
    }
    data.resize(got);  // fewer bytes than the length: what arrived
    return data;
}

std::FILE* openFileForReading(const std::string& path) {
    // The C library's narrow calls take the ANSI code page, never UTF-8.
    return _wfopen(widen(path).c_str(), L"rbN");
}

bool replaceFile(const std::string& path,
                 std::initializer_list<std::span<const std::uint8_t>> blocks) {
    const std::wstring target = widen(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;  // a folder is never replaced
    }
    // A name beside the target that no other writer holds (CREATE_NEW).
    std::wstring temporary;
    Handle file{INVALID_HANDLE_VALUE};
    for (unsigned attempt = 0; attempt < 100 && file.value == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(GetTickCount64() + attempt) + L".tmp";
        file.value = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.value == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    if (file.value == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    for (const auto& block : blocks) {
        ok = ok && (block.empty() || writeAll(file.value, block.data(), block.size()));
    }
    ok = ok && FlushFileBuffers(file.value);
    ok = CloseHandle(file.value) && ok;
    file.value = INVALID_HANDLE_VALUE;
    ok = ok && MoveFileExW(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(temporary.c_str());
    }
    return ok;
}

const char* pathSeparator() {
    return "\\";
}

std::string currentDirectory() {
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    if (length == 0) {
        return {};
    }
    std::wstring buffer(length, L'\0');
    const DWORD written = GetCurrentDirectoryW(length, buffer.data());
    buffer.resize(written);
    return narrow(buffer);
}

bool removeFile(const std::string& path) {
    return DeleteFileW(widen(path).c_str()) != 0;
}

std::unique_ptr<HeldFile> HeldFile::hold(const std::string& path) {
    // Others may read and write it, not delete it.
    const HANDLE file =
        CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::unique_ptr<HeldFile>(new HeldFile(reinterpret_cast<std::intptr_t>(file)));
}

HeldFile::~HeldFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool removeFileUnlessHeld(const std::string& path) {
    // A held file cannot be deleted here (a sharing violation).
    return removeFile(path);
}

std::optional<std::uint64_t> freeBytesAt(const std::string& folder) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(widen(folder).c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

}  // namespace lumivox::platform
