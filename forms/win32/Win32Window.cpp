#include "forms/win32/Win32Window.hpp"

// After windows.h, whose types they use.
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "base/Encoding.hpp"
#include "forms/win32/Win32Controls.hpp"
#include "forms/win32/Win32Dpi.hpp"
#include "forms/win32/Win32Forms.hpp"
#include "forms/win32/Win32Pictures.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::win32 {

void Win32Window::registerClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = DefWindowProcW;  // replaced per window in build()
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kFormClass;
        RegisterClassExW(&windowClass);
        return true;
    }();
    (void)registered;
}

Win32Window::Win32Window(Win32Forms& forms, const layout::WindowLayout& layout)
    : FormCore(forms, layout, forms.wiring()), runtime_(forms) {}

Win32Window::~Win32Window() {
    if (window_ != nullptr && !gone()) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK Win32Window::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

bool Win32Window::build() {
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
    layoutWidth_ = layout().clientWidth;
    layoutHeight_ = layout().clientHeight;
    // Made at the primary screen's DPI; one placed on another monitor is re-laid below.
    dpi_ = systemDpi();
    const RECT outer = outerRect(scaled(layoutWidth_, dpi_), scaled(layoutHeight_, dpi_), style,
                                 exStyle, dpi_);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    if (layout().centred) {
        // The outer window, frame included, centred on the primary screen.
        x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    window_ =
        CreateWindowExW(exStyle, kFormClass, platform::widen(layout().title).c_str(), style, x, y,
                        width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) {
        return false;
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Window::procedure));
    if (const int actual = windowDpi(window_); actual != dpi_) {
        dpi_ = actual;
        resizeClient(layoutWidth_, layoutHeight_);
    }
    setIcons();
    return buildControls();
}

void Win32Window::setIcons() {
    // Its own icon, or the program's, at the sizes the system shows at this DPI.
    const int big = systemMetric(SM_CXICON, dpi_);
    const int small = systemMetric(SM_CXSMICON, dpi_);
    const char* own = layout().icon;
    SendMessageW(window_, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(own != nullptr ? embeddedIcon(own, big) : programIcon(big)));
    SendMessageW(
        window_, WM_SETICON, ICON_SMALL,
        reinterpret_cast<LPARAM>(own != nullptr ? embeddedIcon(own, small) : programIcon(small)));
}

void Win32Window::dpiChanged(int dpi, const RECT& outer) {
    dpi_ = dpi;
    SetWindowPos(window_, nullptr, outer.left, outer.top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // The suggested rectangle scales the frame too; the client area is made exact.
    resizeClient(layoutWidth_, layoutHeight_);
    relayControls();
    setIcons();
    InvalidateRect(window_, nullptr, TRUE);
}

void Win32Window::paintBackground(HDC dc) const {
    RECT area;
    GetClientRect(window_, &area);
    SetBkColor(dc, colourOf(layout().background));
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

void Win32Window::endHoverOfButtons() const {
    for (HWND button : buttons_) {
        SendMessageW(button, kEndHover, 0, 0);
    }
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            paintBackground(reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_PRINTCLIENT:
            paintBackground(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_TIMER:
            // Timer ids are creation orders plus one (an id of 0 does not name a timer).
            timerFired(static_cast<int>(wParam) - 1);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                endHoverOfButtons();
            }
            break;
        case WM_DPICHANGED:
            dpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CLOSE:
            if (acceptClose()) {
                DestroyWindow(window_);
            }
            return 0;
        case WM_NCDESTROY: {
            windowGone();
            const LRESULT result = DefWindowProcW(window_, message, wParam, lParam);
            runtime_.windowDestroyed(this);
            return result;
        }
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32Window::startControlTimer(int order, int periodMs) {
    SetTimer(window_, static_cast<UINT_PTR>(order + 1), static_cast<UINT>(periodMs), nullptr);
}

void Win32Window::stopControlTimer(int order) {
    KillTimer(window_, static_cast<UINT_PTR>(order + 1));
}

std::optional<Text> Win32Window::chooseFile(std::string_view, const Text& initial) {
    std::wstring file(32768, L'\0');
    const std::wstring initialWide = platform::widen(gbkToUtf8(initial));
    std::copy_n(initialWide.begin(), std::min(initialWide.size(), file.size() - 1), file.begin());
    OPENFILENAMEW options{};
    options.lStructSize = sizeof(options);
    options.hwndOwner = window_;
    options.lpstrFile = file.data();
    options.nMaxFile = static_cast<DWORD>(file.size());
    options.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT |
                    OFN_EXPLORER | OFN_NOCHANGEDIR;
    // The current folder stays the program's: the update builds the new
    // program's path from it. The dialog may move it all the same (the flag
    // above does not bind an open dialog), so it is put back.
    std::wstring current(MAX_PATH, L'\0');
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    if (length >= current.size()) {
        current.resize(length);
        length = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    }
    current.resize(length);
    const BOOL chosen = GetOpenFileNameW(&options);
    if (!current.empty()) {
        SetCurrentDirectoryW(current.c_str());
    }
    if (!chosen) {
        return std::nullopt;
    }
    return utf8ToGbk(platform::narrow(std::wstring(file.c_str())));
}

// The program places windows in the layouts' pixels (the update window 480
// below the main window's top, say): screen positions are given to it, and
// taken from it, at the window's DPI.
int Win32Window::left() const {
    RECT outer{};
    GetWindowRect(window_, &outer);
    return MulDiv(outer.left, kLayoutDpi, dpi_);
}

int Win32Window::top() const {
    RECT outer{};
    GetWindowRect(window_, &outer);
    return MulDiv(outer.top, kLayoutDpi, dpi_);
}

void Win32Window::move(int left, int top) {
    SetWindowPos(window_, nullptr, scaled(left, dpi_), scaled(top, dpi_), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::resizeClient(int width, int height) {
    // The client area takes the size at the window's DPI; the frame as it is
    // goes around it (measured: the system may draw it at another DPI than the
    // one the window was told of).
    layoutWidth_ = width;
    layoutHeight_ = height;
    RECT outer{};
    RECT client{};
    GetWindowRect(window_, &outer);
    GetClientRect(window_, &client);
    const int frameWidth = (outer.right - outer.left) - client.right;
    const int frameHeight = (outer.bottom - outer.top) - client.bottom;
    SetWindowPos(window_, nullptr, 0, 0, scaled(width, dpi_) + frameWidth,
                 scaled(height, dpi_) + frameHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::requestClose() {
    SendMessageW(window_, WM_CLOSE, 0, 0);
}

bool Win32Window::formEnabled() const {
    return IsWindowEnabled(window_) != 0;
}

void Win32Window::enableForm(bool enabled) {
    EnableWindow(window_, enabled ? TRUE : FALSE);
}

}  // namespace lumivox::win32
