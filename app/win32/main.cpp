// Lumivox on Windows: the GUI thread's start-up, message loop and shut-down.
#include <windows.h>
// After windows.h, whose types it uses.
#include <ole2.h>

#include "app/EventWiring.hpp"
#include "app/RemotePanel.hpp"
#include "app/UpdateHandOver.hpp"
#include "app/Startup.hpp"
#include "base/ProgramEnd.hpp"
#include "forms/Layout.hpp"
#include "forms/win32/Win32Forms.hpp"
#include "platform/GuiThread.hpp"
#include "platform/windows/GuiThreadWindows.hpp"

namespace {

// First of all, before the static constructors: DLLs are looked for in the
// system folder alone, never in the program's folder (which the updater writes
// into) or the current one. The imports that are not Known DLLs are
// delay-loaded (cmake/SaferLoading.cmake), so they load under this rule when
// first called. SetDefaultDllDirectories needs Windows 8, or 7 with KB2533623;
// without it at least the current folder leaves the search.
__attribute__((constructor(101))) void searchDllsInTheSystemFolderOnly() {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }
}

}  // namespace

int main() {
    // OLE for the imaging component and the common dialogs.
    const HRESULT ole = OleInitialize(nullptr);
    lumivox::platform::serveGuiThreadCalls();
    int exitCode = 0;
    {
        lumivox::win32::Win32Forms forms(lumivox::layout::findProgramLayout, lumivox::eventWiring());
        exitCode = lumivox::startProgram(forms, lumivox::layout::kMainWindow);
        if (exitCode == 0) {
            // The phone and stream-deck panel, when lumivox.ini switches it on.
            lumivox::applyRemoteSettingsWhenFree(forms, lumivox::layout::kMainWindow);
            // An update's new build gets the hotkeys (there is no action channel here).
            lumivox::handOverToUpdates(forms, lumivox::layout::kMainWindow, {}, {});
            // Ends with 0 once the last window has closed (close button, Esc).
            exitCode = forms.run();
        }
    }
    // The update's download task and the sound service end here; a worker they
    // join gets no more GUI work (there may have been no loop at all).
    lumivox::platform::endGuiThreadCalls();
    lumivox::endRemotePanel();
    lumivox::runProgramEndRoutines();
    if (SUCCEEDED(ole)) {
        OleUninitialize();
    }
    return exitCode;
}
