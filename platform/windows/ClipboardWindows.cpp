#include <windows.h>

#include <cstring>

#include "platform/Clipboard.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {

bool setClipboardText(const std::string& utf8) {
    const std::wstring wide = widen(utf8);
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr) {
        return false;
    }
    std::memcpy(GlobalLock(memory), wide.c_str(), bytes);
    GlobalUnlock(memory);
    if (!OpenClipboard(nullptr)) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    // On success the clipboard owns the memory.
    const bool ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    if (!ok) {
        GlobalFree(memory);
    }
    return ok;
}

}  // namespace lumivox::platform
