#pragma once
// Driving a Windows program of ours under Wine as the host would: started from
// another folder, its window waited for, its client area captured from the
// screen, clicks and keys. For the tests that run Lumivox.exe itself.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/WideText.hpp"

namespace lumivox::testing {

constexpr int kClientWidth = 637;
constexpr int kClientHeight = 593;

// A Linux path as Wine's Z: drive shows it.
inline std::wstring windowsPath(const std::string& path) {
    std::wstring wide = platform::widen(path);
    if (!wide.empty() && wide.front() == L'/') {
        std::replace(wide.begin(), wide.end(), L'/', L'\\');
        wide = L"Z:" + wide;
    }
    return wide;
}

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                      static_cast<size_t>(x)] &
               0xFFFFFFu;
    }
};

// The client area of the window as the screen shows it (in the screen's
// pixels: the caller is DPI-aware, see makeDpiAware).
inline Image capture(HWND window) {
    Image image;
    RECT client{};
    GetClientRect(window, &client);
    image.width = std::max<int>(client.right, 1);
    image.height = std::max<int>(client.bottom, 1);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, image.width, image.height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    image.pixels.assign(first, first + static_cast<size_t>(image.width) * image.height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

// The client area once painting has finished: two captures 200 ms apart agree.
inline Image settled(HWND window) {
    Image last = capture(window);
    for (int attempt = 0; attempt < 50; ++attempt) {
        Sleep(200);
        Image next = capture(window);
        if (next.pixels == last.pixels) {
            return next;
        }
        last = std::move(next);
    }
    return last;
}

// A 32-bit BMP, rows from the top.
inline void saveBmp(const std::filesystem::path& file, int width, int height,
                    const std::uint32_t* pixels) {
    BITMAPFILEHEADER header{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = -height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    const DWORD bytes = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + bytes;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    out.write(reinterpret_cast<const char*>(pixels), bytes);
}

// The test itself per-monitor DPI-aware, so Wine gives it the program's
// windows in the screen's pixels, not scaled to 96 DPI. Windows 10 and Wine;
// older systems have no such call and nothing to scale.
inline void makeDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (set != nullptr) {
        set(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    }
}

struct FoundWindow {
    DWORD process;
    const wchar_t* title;
    HWND window = nullptr;
};

inline BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    auto* wanted = reinterpret_cast<FoundWindow*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (process == wanted->process && IsWindowVisible(window) &&
        std::wstring(title) == wanted->title) {
        wanted->window = window;
        return FALSE;
    }
    return TRUE;
}

// A program of ours started as the host would start it, from another folder.
class Started {
  public:
    Started(const std::string& program, const std::filesystem::path& folder,
            const std::wstring& arguments = {}) {
        std::wstring command = L"\"" + windowsPath(program) + L"\"";
        if (!arguments.empty()) {
            command += L" " + arguments;
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        start_ = std::chrono::steady_clock::now();
        ok_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             folder.wstring().c_str(), &startup, &info_) != 0;
    }
    ~Started() {
        if (ok_) {
            if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(info_.hProcess, 99);
            }
            CloseHandle(info_.hThread);
            CloseHandle(info_.hProcess);
        }
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;

    bool ok() const { return ok_; }
    DWORD processId() const { return info_.dwProcessId; }
    bool running() const { return ok_ && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    // Its visible top-level window of that title, waited for; null when none came.
    HWND waitForWindow(const wchar_t* title, std::chrono::milliseconds limit) {
        FoundWindow wanted{info_.dwProcessId, title};
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            wanted.window = nullptr;
            EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&wanted));
            if (wanted.window != nullptr) {
                shownAfter_ = std::chrono::steady_clock::now() - start_;
                return wanted.window;
            }
            if (WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0) {
                return nullptr;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return nullptr;
    }
    std::chrono::duration<double, std::milli> shownAfter() const { return shownAfter_; }
    // Since it was started.
    std::chrono::duration<double, std::milli> elapsed() const {
        return std::chrono::steady_clock::now() - start_;
    }
    // Its exit code, or -1000 when it does not end in time.
    long waitForExit(std::chrono::milliseconds limit) {
        if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) !=
            WAIT_OBJECT_0) {
            return -1000;
        }
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<long>(code);
    }

  private:
    PROCESS_INFORMATION info_{};
    bool ok_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::duration<double, std::milli> shownAfter_{};
};

// A key as the focused control of the window gets it (Esc, or Return for a
// message box's default button).
inline void pressKey(HWND window, WPARAM key) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) &&
        gui.hwndFocus != nullptr) {
        target = gui.hwndFocus;
    }
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

inline void pressEscape(HWND window) {
    pressKey(window, VK_ESCAPE);
}

// A Linux command line run through the shell (Wine starts Linux programs too),
// waited for. Wine gives no handle to wait on for a Linux program, so the shell
// writes the command's exit status to a file once it has ended. Its exit
// status, or -1 when it did not start or end within 20 s.
inline int unixCommand(const std::wstring& command) {
    static int calls = 0;
    const std::string done = "/tmp/lumivox-unix-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++calls);
    std::wstring line =
        L"Z:\\bin\\sh -c \"" + command + L"; echo $? > " + platform::widen(done) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return -1;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    const std::filesystem::path status(windowsPath(done));
    for (int wait = 0; wait < 2000; ++wait) {  // 20 s
        std::ifstream in(status);
        int code = -1;
        if (in >> code) {
            in.close();
            std::filesystem::remove(status);
            return code;
        }
        Sleep(10);
    }
    return -1;
}

// xdotool on the private X display: the keyboard and mouse of the host,
// outside every Wine program. True when it succeeded.
inline bool xdotool(const std::wstring& arguments) {
    return unixCommand(L"xdotool " + arguments + L" >/dev/null") == 0;
}

// The host's click through X at a point of a window's client area. With no
// window manager the X focus follows the pointer, so this also gives the
// window the keyboard. (No "mousemove --sync": it waits for a motion that never
// comes when the pointer is already there; the click follows the move in order.)
inline bool hostClick(HWND window, int x, int y) {
    POINT at{x, y};
    ClientToScreen(window, &at);
    return xdotool(L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y) +
                   L" click 1");
}

// A left click of the host at a point of the main window's client area: the
// pointer moved there, the button pressed and let go, the pointer moved away
// (to the screen's corner, off every window of the program).
inline void clickAt(HWND window, int x, int y) {
    POINT at{x, y};
    ClientToScreen(window, &at);
    SetForegroundWindow(window);
    SetCursorPos(at.x, at.y);
    Sleep(100);
    INPUT press[2] = {};
    press[0].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].type = INPUT_MOUSE;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, press, sizeof(INPUT));
    Sleep(100);
    SetCursorPos(0, 0);
}

// The host's click through X on the middle of a window (a control, or a
// message box's button).
inline bool hostClickOn(HWND control) {
    RECT area{};
    if (!GetWindowRect(control, &area)) {
        return false;
    }
    return xdotool(L"mousemove " + std::to_wstring((area.left + area.right) / 2) + L" " +
                   std::to_wstring((area.top + area.bottom) / 2) + L" click 1");
}

// Waits until Wine has mapped the window of that title on the X display: a
// click before that reaches whatever lies below.
inline bool mappedOnDisplay(const std::wstring& title) {
    return xdotool(L"search --sync --onlyvisible --name " + title);
}

}  // namespace lumivox::testing
