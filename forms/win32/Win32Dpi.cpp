#include "forms/win32/Win32Dpi.hpp"

namespace lumivox::win32 {
namespace {

// A function of user32 that older Windows lack; null there.
template <typename Call>
Call user32Call(const char* name) {
    return reinterpret_cast<Call>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

int systemDpi() {
    static const auto forSystem = user32Call<UINT(WINAPI*)()>("GetDpiForSystem");
    if (forSystem != nullptr) {
        return static_cast<int>(forSystem());
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : kLayoutDpi;
}

int windowDpi(HWND window) {
    static const auto forWindow = user32Call<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    const int dpi = forWindow != nullptr ? static_cast<int>(forWindow(window)) : 0;
    return dpi > 0 ? dpi : systemDpi();
}

RECT outerRect(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi) {
    static const auto adjustForDpi =
        user32Call<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    RECT outer{0, 0, clientWidth, clientHeight};
    if (adjustForDpi == nullptr ||
        !adjustForDpi(&outer, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
        outer = {0, 0, clientWidth, clientHeight};
        AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    }
    return outer;
}

int systemMetric(int index, int dpi) {
    static const auto forDpi = user32Call<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi != nullptr ? forDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

}  // namespace lumivox::win32
