// The peer of the start-up figure under Wine: an empty Win32 window of the main
// window's client size and title, shown the same way; it ends when closed or on Esc.
// With a number as its argument it first makes that many child windows of a
// class of its own (nothing drawn): what so many child windows cost Wine alone.
#include <windows.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    const int children = argc > 1 ? std::atoi(argv[1]) : 0;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = L"MinimalWin32Window";
    RegisterClassW(&windowClass);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT outer{0, 0, 637, 593};
    AdjustWindowRect(&outer, style, FALSE);
    HWND window =
        CreateWindowW(windowClass.lpszClassName, L"MinimalWin32Window", style, CW_USEDEFAULT,
                      CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                      nullptr, windowClass.hInstance, nullptr);
    if (children > 0) {
        WNDCLASSW childClass{};
        childClass.lpfnWndProc = DefWindowProcW;
        childClass.hInstance = windowClass.hInstance;
        childClass.lpszClassName = L"MinimalWin32Child";
        RegisterClassW(&childClass);
    }
    for (int child = 0; child < children; ++child) {
        // Six a row of 96 x 30, as the main window's sound buttons.
        CreateWindowW(L"MinimalWin32Child", L"", WS_CHILD | WS_VISIBLE, 8 + child % 6 * 104,
                      8 + child / 6 % 18 * 32, 96, 30, window, nullptr, windowClass.hInstance,
                      nullptr);
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
