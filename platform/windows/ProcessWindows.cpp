#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/Process.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {

bool startProcess(const std::string& commandLine, int showValue, bool wait, int settleMs) {
    std::wstring line = widen(commandLine);  // CreateProcessW may write into it
    if (line.empty()) {
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showValue);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    // A program that fails at once is seen ending within the settle time.
    WaitForSingleObject(started.hProcess, wait ? INFINITE : static_cast<DWORD>(settleMs));
    CloseHandle(started.hProcess);
    return true;
}

void exitProcess(int exitCode) {
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace lumivox::platform
