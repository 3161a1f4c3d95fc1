// The data folder on Windows: "D:\Lumivox" where earlier installs kept their
// files, when drive D: is a disk that can hold it; else the user's roaming
// application data. A machine whose D: is missing or a CD drive would
// otherwise lose every save without a word.
#include <windows.h>
// After windows.h, whose types they use.
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/DataFolder.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {
namespace {

bool isFolder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string dataFolder() {
    const UINT drive = GetDriveTypeW(L"D:\\");
    if (isFolder(L"D:\\Lumivox") || drive == DRIVE_FIXED || drive == DRIVE_REMOVABLE) {
        return "D:\\Lumivox";
    }
    PWSTR roaming = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming) == S_OK) {
        folder = narrow(roaming) + "\\Lumivox";
    }
    CoTaskMemFree(roaming);
    return folder;
}

}  // namespace lumivox::platform
