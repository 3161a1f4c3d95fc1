#pragma once
// The program scales itself by its window's DPI (it declares per-monitor-v2
// awareness): layout pixels are 96-DPI pixels, turned into the window's by
// scaled(). The DPI calls of Windows 10 are looked up at run time, as Windows 7
// and 8 lack them; without them the system's DPI serves, and 96 without that.
#include <windows.h>

namespace lumivox::win32 {

inline constexpr int kLayoutDpi = 96;

// A length of the layouts (96-DPI pixels) at `dpi`, rounded to the nearest pixel.
inline int scaled(int value, int dpi) {
    return MulDiv(value, dpi, kLayoutDpi);
}
// The other way: the layout pixel that holds a pixel of the window's (rounded
// down, so every window pixel of a scaled layout pixel maps back to it).
inline int unscaled(int value, int dpi) {
    const long long product = static_cast<long long>(value) * kLayoutDpi;
    return static_cast<int>(product >= 0 ? product / dpi : -((-product + dpi - 1) / dpi));
}

// The DPI of the primary screen for this process.
int systemDpi();
// The DPI of the monitor the window is on (as the window knows it).
int windowDpi(HWND window);
// The outer window rectangle around a client area of that size, frame at `dpi`.
RECT outerRect(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);
// A system metric (such as SM_CXICON) at `dpi`.
int systemMetric(int index, int dpi);

}  // namespace lumivox::win32
