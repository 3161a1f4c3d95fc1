// The installer's Start-menu entry through the shell's link object (COM). Called
// on the update's control thread, which initialises COM for itself.
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <filesystem>

#include "platform/StartMenu.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {
namespace {

template <typename T>
struct Released {
    T* value = nullptr;
    ~Released() {
        if (value != nullptr) {
            value->Release();
        }
    }
};

std::filesystem::path entryPath() {
    wchar_t* programs = nullptr;
    std::filesystem::path link;
    if (SHGetKnownFolderPath(FOLDERID_Programs, 0, nullptr, &programs) == S_OK) {
        link = std::filesystem::path(programs) / L"Lumivox.lnk";
    }
    CoTaskMemFree(programs);
    return link;
}

bool sameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
    return CompareStringOrdinal(a.parent_path().c_str(), -1, b.parent_path().c_str(), -1, TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

bool pointStartMenuEntryAt(const std::string& program) {
    const std::filesystem::path link = entryPath();
    if (link.empty() || GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool changed = false;
    {
        Released<IShellLinkW> shellLink;
        Released<IPersistFile> file;
        wchar_t target[MAX_PATH] = L"";
        const std::filesystem::path newTarget(widen(program));
        if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             reinterpret_cast<void**>(&shellLink.value)) == S_OK &&
            shellLink.value->QueryInterface(IID_IPersistFile,
                                            reinterpret_cast<void**>(&file.value)) == S_OK &&
            file.value->Load(link.c_str(), STGM_READWRITE) == S_OK &&
            shellLink.value->GetPath(target, MAX_PATH, nullptr, 0) == S_OK &&
            sameFolder(std::filesystem::path(target), newTarget)) {
            changed = shellLink.value->SetPath(newTarget.c_str()) == S_OK &&
                      shellLink.value->SetIconLocation(newTarget.c_str(), 0) == S_OK &&
                      file.value->Save(link.c_str(), TRUE) == S_OK;
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return changed;
}

}  // namespace lumivox::platform
