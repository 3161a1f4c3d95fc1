// A chat box stand-in for the hotkey tests under Wine: one window with a
// multi-line edit box that takes the keyboard focus at once. Every change of
// its text is written whole (UTF-8) to the file named on the command line, so a
// test reads what a chat box would have received. Ends when its window closes.
// Started as "--send <output>" it is a chat box whose Enter sends: the text
// goes to "<output>.messages" as a line "<ns on the performance counter> <text,
// backslash and line breaks escaped>" (nothing for an empty box) and the box
// is cleared.
#include <windows.h>

#include <string>

#include "platform/windows/WideText.hpp"

namespace {

std::wstring g_outputPath;
HWND g_edit = nullptr;
bool g_enterSends = false;

long long counterNs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<long long>(static_cast<double>(now.QuadPart) * 1e9 /
                                  static_cast<double>(frequency.QuadPart));
}

// Enter in send mode: the box's text as one message line, then an empty box.
void sendMessage() {
    const int length = GetWindowTextLengthW(g_edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(g_edit, text.data(), length + 1)));
    SetWindowTextW(g_edit, L"");
    if (text.find_first_not_of(L" \r\n\t") == std::wstring::npos) {
        return;
    }
    std::string line;
    for (char c : lumivox::platform::narrow(text)) {
        if (c == '\\') {
            line += "\\\\";
        } else if (c == '\n') {
            line += "\\n";
        } else if (c != '\r') {
            line += c;
        }
    }
    line = std::to_string(counterNs()) + " " + line + "\n";
    const HANDLE file = CreateFileW((g_outputPath + L".messages").c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

void saveText() {
    const int length = GetWindowTextLengthW(g_edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(g_edit, text.data(), length + 1)));
    const std::string utf8 = lumivox::platform::narrow(text);
    // Written beside the output and renamed over it: a reader never sees half.
    const std::wstring partial = g_outputPath + L".part";
    const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
    // A test reading the output at that moment holds it open without delete
    // sharing, and the rename is refused: try again until the reader lets go.
    for (int attempt = 0; attempt < 400; ++attempt) {
        if (MoveFileExW(partial.c_str(), g_outputPath.c_str(), MOVEFILE_REPLACE_EXISTING))
            return;
        Sleep(5);
    }
}

WNDPROC g_editProcedure = nullptr;
std::string g_keys;  // what the edit box was sent: "d13 c13 d17 d86 c22 ..."

// Keys down and characters as the edit box receives them, for a test that
// wants to see the order; written to "<output>.keys" after each one.
LRESULT CALLBACK editProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN || message == WM_CHAR) {
        g_keys += (message == WM_KEYDOWN ? "d" : "c") + std::to_string(wParam) + " ";
        const HANDLE file = CreateFileW((g_outputPath + L".keys").c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, g_keys.data(), static_cast<DWORD>(g_keys.size()), &written, nullptr);
        CloseHandle(file);
    }
    if (g_enterSends && wParam == VK_RETURN && (GetKeyState(VK_SHIFT) & 0x8000) == 0) {
        if (message == WM_KEYDOWN) {
            sendMessage();
            return 0;
        }
        if (message == WM_CHAR) {
            return 0;  // no line break from the Enter that sent
        }
    }
    return CallWindowProcW(g_editProcedure, edit, message, wParam, lParam);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            g_edit = CreateWindowExW(
                WS_EX_CLIENTEDGE, L"EDIT", L"",
                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                10, 10, 380, 180, window, nullptr, nullptr, nullptr);
            if (g_edit == nullptr)
                return -1;
            g_editProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                g_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&editProcedure)));
            return 0;
        case WM_SETFOCUS:
        case WM_ACTIVATE:
            SetFocus(g_edit);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == EN_CHANGE)
                saveText();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    g_outputPath = commandLine;
    if (g_outputPath.starts_with(L"--send ")) {
        g_enterSends = true;
        g_outputPath = g_outputPath.substr(7);
    }
    if (g_outputPath.empty())
        return 2;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"LumivoxChatBox";
    RegisterClassW(&windowClass);
    const HWND window =
        CreateWindowExW(0, L"LumivoxChatBox", L"聊天框", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                        400, 240, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    SetForegroundWindow(window);
    SetFocus(g_edit);
    saveText();  // an empty file: the box is up
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
