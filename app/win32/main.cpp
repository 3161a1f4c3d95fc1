// Lumivox on Windows: the GUI thread's start-up, message loop and shut-down.
#include <windows.h>
// After windows.h, whose types it uses.
#include <ole2.h>

#include "app/EventWiring.hpp"
#include "app/Startup.hpp"
#include "base/ProgramEnd.hpp"
#include "forms/Layout.hpp"
#include "forms/win32/Win32Forms.hpp"
#include "platform/GuiThread.hpp"
#include "platform/windows/GuiThreadWindows.hpp"

int main() {
    // OLE for the imaging component and the common dialogs.
    const HRESULT ole = OleInitialize(nullptr);
    lumivox::platform::serveGuiThreadCalls();
    int exitCode = 0;
    {
        lumivox::win32::Win32Forms forms(lumivox::layout::findProgramLayout, lumivox::eventWiring());
        exitCode = lumivox::startProgram(forms, lumivox::layout::kMainWindow);
        if (exitCode == 0) {
            // Ends with 0 once the last window has closed (close button, Esc).
            exitCode = forms.run();
        }
    }
    // The update's download task and the sound service end here; a worker they
    // join gets no more GUI work (there may have been no loop at all).
    lumivox::platform::endGuiThreadCalls();
    lumivox::runProgramEndRoutines();
    if (SUCCEEDED(ole)) {
        OleUninitialize();
    }
    return exitCode;
}
