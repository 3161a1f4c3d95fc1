// The child window of each control kind, and what the form core asks of it.
// Every child is placed by placeOf(), the one place that turns a layout
// position (96-DPI pixels) into the window's at its DPI.
#include "forms/win32/Win32Window.hpp"

// After windows.h, whose types they use.
#include <commctrl.h>

#include <algorithm>

#include "assets/Assets.hpp"
#include "base/Encoding.hpp"
#include "forms/win32/Win32Controls.hpp"
#include "forms/win32/Win32Dpi.hpp"
#include "forms/win32/Win32Pictures.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::win32 {
namespace {

using layout::Kind;

std::wstring wideOf(const Text& gbk) {
    return platform::widen(gbkToUtf8(gbk));
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Edges scaled, not the size: neighbours that touch at 96 DPI touch at any DPI.
RECT placeOf(const layout::Control& spec, int dpi) {
    return {scaled(spec.left, dpi), scaled(spec.top, dpi), scaled(spec.left + spec.width, dpi),
            scaled(spec.top + spec.height, dpi)};
}

// The status bar's part edges at `dpi` (the last part runs to its right end).
void setStatusParts(HWND bar, const layout::Control& spec, int dpi) {
    const int parts = std::max(spec.parts, 1);
    std::vector<int> edges(static_cast<size_t>(parts));
    for (int part = 0; part < parts; ++part) {
        edges[static_cast<size_t>(part)] =
            part + 1 == parts ? -1 : scaled((part + 1) * spec.partWidth, dpi);
    }
    SendMessageW(bar, SB_SETPARTS, static_cast<WPARAM>(parts),
                 reinterpret_cast<LPARAM>(edges.data()));
}

// A child window of a system class.
HWND makeSystemChild(DWORD exStyle, const wchar_t* windowClass, const std::wstring& caption,
                     DWORD style, const RECT& place, HWND parent) {
    return CreateWindowExW(exStyle, windowClass, caption.c_str(), WS_CHILD | style, place.left,
                           place.top, place.right - place.left, place.bottom - place.top, parent,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Multi-line boxes take Enter as a line break but leave Tab to move the focus.
LRESULT CALLBACK multiLineEditProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR) {
    if (message == WM_GETDLGCODE) {
        LRESULT code = DefSubclassProc(window, message, wParam, lParam);
        auto* pending = reinterpret_cast<MSG*>(lParam);
        if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_TAB) {
            code &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
        }
        return code;
    }
    if (message == WM_CHAR && wParam == L'\t') {
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

HWND Win32Window::at(int order) const {
    return order >= 0 && static_cast<size_t>(order) < children_.size()
               ? children_[static_cast<size_t>(order)]
               : nullptr;
}

HWND Win32Window::controlHandle(std::string_view name) const {
    return at(widgetOrder(name, false));
}

HWND Win32Window::parentOf(const layout::Control& spec) const {
    return spec.parent.empty() ? window_ : at(widgetOrder(spec.parent, true));
}

bool Win32Window::makeNative(const layout::Control& spec, int order) {
    if (spec.kind == Kind::Timer) {
        return true;  // SetTimer with the order as its id
    }
    HWND parent = parentOf(spec);
    HWND child = parent != nullptr ? makeChild(spec, parent) : nullptr;
    if (child == nullptr) {
        return false;
    }
    if (children_.size() <= static_cast<size_t>(order)) {
        children_.resize(static_cast<size_t>(order) + 1, nullptr);
        specs_.resize(static_cast<size_t>(order) + 1);
        shownForWritten_.resize(static_cast<size_t>(order) + 1);
    }
    children_[static_cast<size_t>(order)] = child;
    specs_[static_cast<size_t>(order)] = spec;
    if (spec.kind == Kind::ImageButton) {
        buttons_.push_back(child);
    }
    return true;
}

bool Win32Window::makeNativeStore(const layout::Control& spec, int order,
                                  const Neighbours& neighbours) {
    if (!makeNative(spec, order)) {
        return false;
    }
    // After the sibling made before it, as if it had been made with the others:
    // the stacking and the Tab order follow.
    HWND previous = at(neighbours.previousSibling);
    SetWindowPos(at(order), previous != nullptr ? previous : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return true;
}

HWND Win32Window::makeChild(const layout::Control& spec, HWND parent) {
    const RECT place = placeOf(spec, dpi_);
    const DWORD shown = spec.visible ? WS_VISIBLE : 0;
    const std::wstring caption = platform::widen(spec.caption);
    const std::string name = spec.name;
    HFONT font = fontFor(spec.font, dpi_);
    HWND child = nullptr;
    switch (spec.kind) {
        // Pictures are decoded as they are first drawn, once the window is
        // shown; a layout that names a picture the program does not carry
        // fails here.
        case Kind::PictureBox:
            if (!spec.caption.empty() && assets::find(spec.caption).empty()) {
                return nullptr;
            }
            child = createPictureBox(parent, place, shown, spec.caption);
            break;
        case Kind::ImageButton:
            for (const char* asset : {spec.button.pictureOut, spec.button.pictureIn}) {
                if (asset != nullptr && assets::find(asset).empty()) {
                    return nullptr;
                }
            }
            child = createImageButton(
                parent, place, shown,
                {.look = spec.button,
                 .font = font,
                 .dpi = dpi_,
                 .caption = caption,
                 .clicked = [this, name] {
                     dispatch({.kind = EventKind::Clicked, .control = name});
                 }});
            break;
        case Kind::TransparentLabel:
            child =
                createTransparentLabel(parent, place, shown,
                                       {.look = spec.label,
                                        .font = font,
                                        .dpi = dpi_,
                                        .caption = caption,
                                        .leftButtonDown = [this, name](int x, int y, int keyState) {
                                            dispatch({.kind = EventKind::LeftButtonDown,
                                                      .control = name,
                                                      .x = x,
                                                      .y = y,
                                                      .keyState = keyState});
                                        }});
            break;
        case Kind::EditBox:
        case Kind::MultiLineEditBox: {
            DWORD style = WS_TABSTOP | ES_LEFT | shown;
            style |= spec.kind == Kind::MultiLineEditBox
                         ? ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN
                         : ES_AUTOHSCROLL;
            child = makeSystemChild(WS_EX_CLIENTEDGE, WC_EDITW, L"", style, place, parent);
            if (child != nullptr) {
                SendMessageW(child, EM_SETLIMITTEXT, 0, 0);  // no length limit
                if (spec.kind == Kind::MultiLineEditBox) {
                    SetWindowSubclass(child, multiLineEditProcedure, 1, 0);
                }
            }
            break;
        }
        case Kind::Label:
            child = makeSystemChild(0, WC_STATICW, caption, SS_LEFT | shown, place, parent);
            break;
        case Kind::GroupBox:
            child = makeSystemChild(WS_EX_CONTROLPARENT, WC_BUTTONW, caption,
                                    BS_GROUPBOX | WS_CLIPSIBLINGS | shown, place, parent);
            break;
        case Kind::ProgressBar:
            child = makeSystemChild(0, PROGRESS_CLASSW, L"", shown, place, parent);
            if (child != nullptr) {
                SendMessageW(child, PBM_SETRANGE32, 0, 100);
                SendMessageW(child, PBM_SETPOS, 0, 0);
            }
            break;
        case Kind::StatusBar: {
            child = makeSystemChild(0, STATUSCLASSNAMEW, L"",
                                    CCS_NOPARENTALIGN | CCS_NORESIZE | shown, place, parent);
            if (child != nullptr) {
                setStatusParts(child, spec, dpi_);
            }
            return child;  // keeps the system's font
        }
        case Kind::Timer:
        case Kind::OpenFileDialog:
            return nullptr;
    }
    if (child != nullptr) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return child;
}

void Win32Window::relayControls() {
    for (size_t order = 0; order < children_.size(); ++order) {
        HWND child = children_[order];
        if (child == nullptr) {
            continue;
        }
        const layout::Control& spec = specs_[order];
        const RECT place = placeOf(spec, dpi_);
        SetWindowPos(child, nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        HFONT font = fontFor(spec.font, dpi_);
        switch (spec.kind) {
            case Kind::ImageButton:
                rescaleImageButton(child, font, dpi_);
                break;
            case Kind::TransparentLabel:
                rescaleLabel(child, font, dpi_);
                break;
            case Kind::StatusBar:
                setStatusParts(child, spec, dpi_);
                break;
            default:
                SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
                break;
        }
    }
}

bool Win32Window::nativeShown(int order) const {
    return (GetWindowLongW(at(order), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Window::showNative(int order, bool shown) {
    ShowWindow(at(order), shown ? SW_SHOWNA : SW_HIDE);
}

void Win32Window::showCaption(int order, Kind kind, const Text& caption) {
    const std::wstring shown = wideOf(caption);
    switch (kind) {
        case Kind::ImageButton:
            setButtonCaption(at(order), shown);
            break;
        case Kind::TransparentLabel:
            setLabelCaption(at(order), shown);
            break;
        default:
            SetWindowTextW(at(order), shown.c_str());
            break;
    }
}

void Win32Window::showEditText(int order, const Text& text) {
    std::wstring& shown = shownForWritten_[static_cast<size_t>(order)];
    shown = wideOf(text);
    SetWindowTextW(at(order), shown.c_str());
}

std::optional<Text> Win32Window::hostEditText(int order) const {
    const std::wstring shown = windowText(at(order));
    if (shown == shownForWritten_[static_cast<size_t>(order)]) {
        return std::nullopt;
    }
    return utf8ToGbk(platform::narrow(shown));
}

void Win32Window::scrollEditToEnd(int order) {
    const int end = GetWindowTextLengthW(at(order));
    SendMessageW(at(order), EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(at(order), EM_SCROLLCARET, 0, 0);
}

void Win32Window::showPosition(int order, int position) {
    SendMessageW(at(order), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32Window::showPixels(int order, int width, int height,
                             const std::vector<std::uint32_t>& pixels) {
    setPictureBoxPixels(at(order), Picture{width, height, pixels});
}

void Win32Window::showStatusText(int order, int part, const Text& text) {
    SendMessageW(at(order), SB_SETTEXTW, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(wideOf(text).c_str()));
}

}  // namespace lumivox::win32
