// The clipboard on Windows. Both the plain text of setClipboardText and the
// paste clipboard open it with an owner window of ours, retrying briefly while
// another program holds it open. The paste clipboard offers its text by delayed
// rendering: WM_RENDERFORMAT says when a program reads it.
#include <windows.h>

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "platform/Clipboard.hpp"
#include "platform/PasteClipboard.hpp"
#include "platform/windows/HelperWindow.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {
namespace {

constexpr UINT kReportRead = WM_APP + 0x41;
// Another program holds the clipboard open for a moment only (a copy, a
// clipboard viewer): up to 20 tries 10 ms apart, before any key is sent.
constexpr int kOpenTries = 20;
constexpr DWORD kOpenPauseMs = 10;

HGLOBAL globalCopy(const void* data, std::size_t bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes == 0 ? 1 : bytes);
    if (memory != nullptr) {
        if (void* target = GlobalLock(memory)) {
            std::memcpy(target, data, bytes);
            GlobalUnlock(memory);
        }
    }
    return memory;
}

// Formats whose data is a GDI or owner handle, not memory: they cannot be
// copied byte for byte, and Windows makes the bitmap and metafile ones again
// from the memory formats (CF_DIB, CF_ENHMETAFILE's CF_METAFILEPICT twin).
bool copyable(UINT format) {
    switch (format) {
        case CF_BITMAP:
        case CF_METAFILEPICT:
        case CF_PALETTE:
        case CF_ENHMETAFILE:
        case CF_OWNERDISPLAY:
        case CF_DSPBITMAP:
        case CF_DSPMETAFILEPICT:
        case CF_DSPENHMETAFILE:
            return false;
        default:
            return format < CF_GDIOBJFIRST || format > CF_GDIOBJLAST;
    }
}

class WindowsClipboard final : public PasteClipboard {
  public:
    bool open() {
        HWND owner = window();
        for (int attempt = 0; attempt < kOpenTries; ++attempt) {
            if (OpenClipboard(owner)) {
                return true;
            }
            Sleep(kOpenPauseMs);
        }
        return false;
    }

    bool setText(const std::string& utf8) {
        const std::wstring wide = widen(utf8);
        HGLOBAL memory = globalCopy(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        if (memory == nullptr) {
            return false;
        }
        if (!open()) {
            GlobalFree(memory);
            return false;
        }
        EmptyClipboard();
        offered_ = false;  // emptied: an offer of ours is gone
        // On success the clipboard owns the memory.
        const bool ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        CloseClipboard();
        if (!ok) {
            GlobalFree(memory);
        }
        return ok;
    }

    bool offerText(const std::string& utf8, std::function<void()> onRead) override {
        if (window() == nullptr || !open()) {
            return false;
        }
        std::vector<std::pair<UINT, std::vector<char>>> held;
        const bool keepEarlier = offered_ && GetClipboardOwner() == window_;
        if (!keepEarlier) {
            // What the host copied, every format that is plain memory.
            for (UINT format = EnumClipboardFormats(0); format != 0;
                 format = EnumClipboardFormats(format)) {
                if (!copyable(format)) {
                    continue;
                }
                HANDLE data = GetClipboardData(format);
                const void* bytes = data ? GlobalLock(data) : nullptr;
                if (bytes != nullptr) {
                    const auto* begin = static_cast<const char*>(bytes);
                    held.emplace_back(format, std::vector<char>(begin, begin + GlobalSize(data)));
                    GlobalUnlock(data);
                }
            }
        }
        if (!EmptyClipboard()) {
            CloseClipboard();
            return false;
        }
        // Delayed rendering: the text is made when a program asks for it.
        SetClipboardData(CF_UNICODETEXT, nullptr);
        CloseClipboard();
        if (!keepEarlier) {
            saved_ = std::move(held);
        }
        text_ = widen(utf8);
        offered_ = true;
        onRead_ = std::move(onRead);
        return true;
    }

    void giveBack() override {
        onRead_ = {};
        if (!offered_ || GetClipboardOwner() != window_ || !open()) {
            offered_ = false;
            return;  // set by another program since, or out of reach
        }
        EmptyClipboard();
        offered_ = false;
        for (auto& [format, bytes] : saved_) {
            if (HGLOBAL memory = globalCopy(bytes.data(), bytes.size())) {
                if (SetClipboardData(format, memory) == nullptr) {
                    GlobalFree(memory);
                }
            }
        }
        CloseClipboard();
        saved_.clear();
    }

  private:
    // The text into the open clipboard (by the reader, or by us as we end).
    void render() {
        if (HGLOBAL memory = globalCopy(text_.c_str(), (text_.size() + 1) * sizeof(wchar_t))) {
            if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
                GlobalFree(memory);
            }
        }
    }

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
        auto* self = reinterpret_cast<WindowsClipboard*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        switch (message) {
            case WM_RENDERFORMAT:
                // The reader holds the clipboard open and waits for this; the
                // report comes after, from the message loop.
                if (wParam == CF_UNICODETEXT) {
                    self->render();
                    PostMessageW(window, kReportRead, 0, 0);
                }
                return 0;
            case WM_RENDERALLFORMATS:
                if (OpenClipboard(window)) {
                    if (GetClipboardOwner() == window) {
                        self->render();
                    }
                    CloseClipboard();
                }
                return 0;
            case WM_DESTROYCLIPBOARD:
                self->offered_ = false;  // another program emptied it
                return 0;
            case kReportRead:
                if (self->onRead_) {
                    std::function<void()> report = self->onRead_;
                    report();
                }
                return 0;
            default:
                return DefWindowProcW(window, message, wParam, lParam);
        }
    }

    // A hidden window of the GUI thread, made on first use: the clipboard's owner.
    HWND window() {
        if (window_ == nullptr) {
            window_ = makeHelperWindow(L"LumivoxClipboard", &windowProcedure, this, nullptr);
        }
        return window_;
    }

    HWND window_ = nullptr;
    bool offered_ = false;  // our delayed text is on the clipboard
    std::wstring text_;
    std::vector<std::pair<UINT, std::vector<char>>> saved_;
    std::function<void()> onRead_;
};

WindowsClipboard& clipboard() {
    static WindowsClipboard instance;
    return instance;
}

}  // namespace

bool setClipboardText(const std::string& utf8) {
    return clipboard().setText(utf8);
}

PasteClipboard& systemPasteClipboard() {
    return clipboard();
}

}  // namespace lumivox::platform
