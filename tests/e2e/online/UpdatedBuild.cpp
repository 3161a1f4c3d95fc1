// A stand-in for a new build that the updater downloads and starts: it writes
// its own path and command line beside itself ("<program>.started", UTF-8), so
// the test sees which file was started and how.
#include <windows.h>

#include <string>

#include "platform/windows/WideText.hpp"

int main() {
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const std::string text =
        lumivox::platform::narrow(self) + "\n" + lumivox::platform::narrow(GetCommandLineW());
    const HANDLE file = CreateFileW((self + L".started").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return written == text.size() ? 0 : 1;
}
