#include "platform/windows/HelperWindow.hpp"

namespace lumivox::platform {

HWND makeHelperWindow(const wchar_t* className, WNDPROC procedure, void* self, HWND parent) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);  // fails harmlessly once registered
    HWND window = CreateWindowExW(0, className, L"", parent == HWND_MESSAGE ? 0 : WS_POPUP, 0, 0, 0,
                                  0, parent, nullptr, windowClass.hInstance, nullptr);
    if (window != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    return window;
}

}  // namespace lumivox::platform
