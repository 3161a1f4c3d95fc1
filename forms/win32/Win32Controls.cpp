#include "forms/win32/Win32Controls.hpp"

#include <windowsx.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string_view>
#include <tuple>
#include <vector>

#include "forms/win32/Win32Dpi.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::win32 {
namespace {

// The window's record, kept in its user data from creation to destruction.
template <typename State>
State* stateOf(HWND window) {
    return reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

template <typename State>
void adopt(HWND window, LPARAM createParam) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(createParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

template <typename State>
void release(HWND window) {
    delete stateOf<State>(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

// Paints into a memory bitmap first, then copies it: no flicker.
class BufferedPaint {
  public:
    explicit BufferedPaint(HWND window) : window_(window) {
        target_ = BeginPaint(window, &paint_);
        GetClientRect(window, &area_);
        dc_ = CreateCompatibleDC(target_);
        bitmap_ = CreateCompatibleBitmap(target_, std::max<LONG>(area_.right, 1),
                                         std::max<LONG>(area_.bottom, 1));
        old_ = SelectObject(dc_, bitmap_);
    }
    ~BufferedPaint() {
        BitBlt(target_, 0, 0, area_.right, area_.bottom, dc_, 0, 0, SRCCOPY);
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
        EndPaint(window_, &paint_);
    }
    BufferedPaint(const BufferedPaint&) = delete;
    BufferedPaint& operator=(const BufferedPaint&) = delete;
    HDC dc() const { return dc_; }
    const RECT& area() const { return area_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC target_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    RECT area_{};
};

// What the parent shows under the child: the parent paints its background into
// the child's DC, shifted to the child's place.
void paintParentBackground(HWND child, HDC dc) {
    HWND parent = GetParent(child);
    POINT at{0, 0};
    MapWindowPoints(child, parent, &at, 1);
    POINT old;
    OffsetViewportOrgEx(dc, -at.x, -at.y, &old);
    SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

void fill(HDC dc, const RECT& area, COLORREF colour) {
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

// ---- image button ---------------------------------------------------------

struct ButtonState {
    ButtonSetup setup;
    // Made at the first paint (decoding waits until the window is shown).
    bool picturesTaken = false;
    const MaskedPicture* out = nullptr;
    const MaskedPicture* in = nullptr;
    bool hover = false;
    bool held = false;        // the left button went down on it and is still down
    bool underMouse = false;  // while held: the mouse is over it
    bool spaceHeld = false;
};

bool pressedLook(const ButtonState& state) {
    return (state.held && state.underMouse) || state.spaceHeld;
}

void takePictures(ButtonState& state);

void paintButton(HWND window, ButtonState& state) {
    if (!state.picturesTaken) {
        takePictures(state);
    }
    BufferedPaint paint(window);
    HDC dc = paint.dc();
    const layout::ButtonLook& look = state.setup.look;
    const MaskedPicture* picture = state.out;
    layout::Colour caption = look.captionOut;
    layout::Colour background = look.backgroundOut;
    const bool disabled = (GetWindowLongW(window, GWL_STYLE) & WS_DISABLED) != 0;
    if (disabled) {
        picture = greyedAsset(look.pictureOut, state.setup.dpi);
    } else if (pressedLook(state) || state.hover) {
        picture = state.in;
        caption = look.captionIn;
        background = look.backgroundIn;
    } else if (GetFocus() == window) {
        caption = look.captionFocus;
        background = look.backgroundFocus;
    }
    fill(dc, paint.area(), colourOf(background));
    const int offset = pressedLook(state) ? scaled(1, state.setup.dpi) : 0;
    if (picture != nullptr) {
        drawMasked(dc, *picture, offset, offset);
    }
    if (!state.setup.caption.empty()) {
        HGDIOBJ oldFont = SelectObject(dc, state.setup.font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, disabled ? GetSysColor(COLOR_GRAYTEXT) : colourOf(caption));
        // Centred both ways in the whole button, word-wrapped.
        const UINT flags = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
        RECT measured = paint.area();
        DrawTextW(dc, state.setup.caption.c_str(), -1, &measured, flags | DT_CALCRECT);
        RECT place = paint.area();
        const int textHeight = measured.bottom - measured.top;
        place.top = (paint.area().bottom - textHeight) / 2 + offset;
        place.bottom = place.top + textHeight;
        place.left += offset;
        place.right += offset;
        DrawTextW(dc, state.setup.caption.c_str(), -1, &place, flags);
        SelectObject(dc, oldFont);
    }
}

void setHover(HWND window, ButtonState& state, bool hover) {
    if (state.hover != hover) {
        state.hover = hover;
        InvalidateRect(window, nullptr, FALSE);
    }
}

bool inside(HWND window, LPARAM position) {
    RECT area;
    GetClientRect(window, &area);
    POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    return PtInRect(&area, at) != 0;
}

// Runs the click callback; the window may be gone when it returns.
void click(ButtonState& state) {
    const std::function<void()> clicked = state.setup.clicked;
    if (clicked) {
        clicked();
    }
}

LRESULT CALLBACK buttonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        adopt<ButtonState>(window, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    ButtonState* state = stateOf<ButtonState>(window);
    if (state == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_NCDESTROY:
            release<ButtonState>(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            paintButton(window, *state);
            return 0;
        case WM_MOUSEMOVE:
            if (state->held) {
                const bool over = inside(window, lParam);
                if (over != state->underMouse) {
                    state->underMouse = over;
                    InvalidateRect(window, nullptr, FALSE);
                }
                return 0;
            }
            // The mouse-over state begins only while a window of the program is
            // active and no mouse button is held.
            if ((wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 &&
                GetActiveWindow() != nullptr && !state->hover) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
                TrackMouseEvent(&track);
                setHover(window, *state, true);
            }
            return 0;
        case WM_MOUSELEAVE:
        case kEndHover:
            setHover(window, *state, false);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            state->held = true;
            state->underMouse = true;
            SetCapture(window);
            SetFocus(window);
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_LBUTTONUP: {
            if (!state->held) {
                return 0;
            }
            const bool over = inside(window, lParam);
            state->held = false;
            state->underMouse = false;
            ReleaseCapture();
            InvalidateRect(window, nullptr, FALSE);
            if (over) {
                click(*state);
            }
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (state->held && reinterpret_cast<HWND>(lParam) != window) {
                state->held = false;
                state->underMouse = false;
                InvalidateRect(window, nullptr, FALSE);
            }
            return 0;
        case WM_SETFOCUS:
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_KILLFOCUS:
            state->held = false;
            state->underMouse = false;
            state->spaceHeld = false;
            state->hover = false;
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_ENABLE:
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        // Space presses the button from the keyboard, as a push button does.
        case WM_KEYDOWN:
            if (wParam == VK_SPACE && (lParam & (1 << 30)) == 0) {
                state->spaceHeld = true;
                InvalidateRect(window, nullptr, FALSE);
                return 0;
            }
            break;
        case WM_KEYUP:
            if (wParam == VK_SPACE && state->spaceHeld) {
                state->spaceHeld = false;
                InvalidateRect(window, nullptr, FALSE);
                click(*state);
                return 0;
            }
            break;
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS;  // the space reaches it; Tab and Esc do not
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---- transparent label ----------------------------------------------------

struct LabelState {
    LabelSetup setup;
    int lineHeight = 12;  // the font's character height
};

// Punctuation that never begins a line.
constexpr std::wstring_view kNoLineStart = L"，。！？、；：）》」』】〕…,.!?;:)]}";

// Breaks the caption into lines that fit the width: at the last space that
// fits, else after the last character that fits (CJK text has no spaces), at
// least one character a line, closing punctuation kept off a line's start;
// a line break in the caption starts a new line.
std::vector<std::wstring> wrapLines(HDC dc, const std::wstring& text, int width) {
    std::vector<std::wstring> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of(L"\r\n", at);
        std::wstring_view rest(text.data() + at,
                               (end == std::wstring::npos ? text.size() : end) - at);
        int fit = 0;
        SIZE size;
        GetTextExtentExPointW(dc, rest.data(), static_cast<int>(rest.size()), width, &fit, nullptr,
                              &size);
        size_t take = std::max<size_t>(static_cast<size_t>(fit), 1);
        if (take < rest.size()) {
            const size_t space = rest.substr(0, take + 1).find_last_of(L' ');
            if (space != std::wstring_view::npos && space > 0) {
                take = space + 1;
            } else if (take > 1 && kNoLineStart.find(rest[take]) != std::wstring_view::npos) {
                --take;  // closing punctuation stays with the character before it
            }
        } else {
            take = rest.size();
        }
        lines.emplace_back(rest.substr(0, take));
        at += take;
        if (take == rest.size() && end != std::wstring::npos) {
            // Past the line break (CR LF, CR or LF).
            at = end +
                 ((text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ? 2 : 1);
        }
    }
    return lines;
}

void drawLabelText(HDC dc, const LabelState& state, RECT area) {
    const layout::LabelLook& look = state.setup.look;
    UINT flags = DT_NOPREFIX;
    switch (look.align) {
        case layout::HAlign::Left:
            flags |= DT_LEFT;
            break;
        case layout::HAlign::Centre:
            flags |= DT_CENTER;
            break;
        case layout::HAlign::Right:
            flags |= DT_RIGHT;
            break;
    }
    if (look.wordWrap) {
        flags |= DT_WORDBREAK | DT_TOP;
    } else {
        flags |= DT_SINGLELINE;
        switch (look.valign) {
            case layout::VAlign::Top:
                flags |= DT_TOP;
                break;
            case layout::VAlign::Centre:
                flags |= DT_VCENTER;
                break;
            case layout::VAlign::Bottom:
                flags |= DT_BOTTOM;
                break;
        }
    }
    const std::wstring& caption = state.setup.caption;
    // Wrapped lines one character height apart from the top, as the layouts
    // were measured (not the face's own line spacing).
    std::vector<std::wstring> lines;
    if (look.wordWrap) {
        lines = wrapLines(dc, caption, area.right - area.left);
    }
    auto draw = [&](COLORREF colour, int dx, int dy) {
        RECT place = area;
        OffsetRect(&place, scaled(dx, state.setup.dpi), scaled(dy, state.setup.dpi));
        SetTextColor(dc, colour);
        if (!look.wordWrap) {
            DrawTextW(dc, caption.c_str(), -1, &place, flags);
            return;
        }
        const int pitch = state.lineHeight;
        for (const std::wstring& line : lines) {
            DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &place,
                      (flags & ~DT_WORDBREAK) | DT_SINGLELINE);
            place.top += pitch;
        }
    };
    const COLORREF colour = colourOf(look.colour);
    const COLORREF white = RGB(255, 255, 255);
    switch (look.effect) {
        case 1:
            draw(white, 1, 1);
            draw(colour, 0, 0);
            break;
        case 2:
            draw(white, 0, 0);
            draw(colour, 1, 1);
            break;
        case 3:
            draw(RGB(0, 0, 0), 2, 2);
            draw(colour, 0, 0);
            break;
        default:
            draw(colour, 0, 0);
            break;
    }
}

LRESULT CALLBACK labelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        adopt<LabelState>(window, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    LabelState* state = stateOf<LabelState>(window);
    if (state == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_NCDESTROY:
            release<LabelState>(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            // No background of its own: what its parent shows under it, then the caption.
            BufferedPaint paint(window);
            paintParentBackground(window, paint.dc());
            if (!state->setup.caption.empty()) {
                HGDIOBJ oldFont = SelectObject(paint.dc(), state->setup.font);
                SetBkMode(paint.dc(), TRANSPARENT);
                drawLabelText(paint.dc(), *state, paint.area());
                SelectObject(paint.dc(), oldFont);
            }
            return 0;
        }
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT) {
                SetCursor(
                    LoadCursorW(nullptr, state->setup.look.handCursor ? IDC_HAND : IDC_ARROW));
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN: {
            const int keyState = ((wParam & MK_CONTROL) ? 1 : 0) | ((wParam & MK_SHIFT) ? 2 : 0) |
                                 (GetKeyState(VK_MENU) < 0 ? 4 : 0);
            const auto pressed = state->setup.leftButtonDown;
            if (pressed) {
                // In the layout's pixels, as the program's handlers know the label.
                const int dpi = state->setup.dpi;
                pressed(unscaled(GET_X_LPARAM(lParam), dpi), unscaled(GET_Y_LPARAM(lParam), dpi),
                        keyState);
            }
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---- picture box ----------------------------------------------------------

struct PictureBoxState {
    std::string asset;  // empty: none
    Picture pixels;     // made at runtime; shown in place of the asset
};

LRESULT CALLBACK pictureBoxProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        adopt<PictureBoxState>(window, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (stateOf<PictureBoxState>(window) == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_NCDESTROY:
            release<PictureBoxState>(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            BufferedPaint paint(window);
            paintPictureBox(window, paint.dc());
            return 0;
        }
        case WM_PRINTCLIENT:
            paintPictureBox(window, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_COMMAND:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            // Edit boxes and labels on a page report to the form as they would on it.
            return SendMessageW(GetAncestor(window, GA_ROOT), message, wParam, lParam);
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerClass(const wchar_t* name, WNDPROC procedure, const wchar_t* cursor, UINT style) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, cursor);
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);
}

// The button's pictures at its DPI.
void takePictures(ButtonState& state) {
    const layout::ButtonLook& look = state.setup.look;
    const int dpi = state.setup.dpi;
    state.out = maskedAsset(look.pictureOut, look.transparentOut, dpi);
    state.in = maskedAsset(look.pictureIn != nullptr ? look.pictureIn : look.pictureOut,
                           look.transparentIn, dpi);
    state.picturesTaken = true;
}

}  // namespace

int characterHeight(HFONT font) {
    LOGFONTW description{};
    if (GetObjectW(font, sizeof(description), &description) == 0 || description.lfHeight == 0) {
        return 12;
    }
    return std::abs(static_cast<int>(description.lfHeight));
}

HFONT fontFor(const layout::Font& spec, int dpi) {
    static std::map<std::tuple<std::string, int, bool, bool>, HFONT> made;
    // The default GUI font of a Chinese system: 宋体 of 12 pixels (at 96 DPI).
    const std::string face = spec.face != nullptr ? spec.face : "宋体";
    const int height = scaled(spec.face != nullptr ? spec.heightPx : 12, dpi);
    const auto key = std::make_tuple(face, height, spec.bold, spec.underline);
    if (auto found = made.find(key); found != made.end()) {
        return found->second;
    }
    // A negative height is the character height, as the layouts give it.
    HFONT font = CreateFontW(-height, 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL, FALSE,
                             spec.underline ? TRUE : FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, platform::widen(face).c_str());
    if (font == nullptr) {
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    made.emplace(key, font);
    return font;
}

void registerControlClasses() {
    static const bool registered = [] {
        registerClass(kImageButtonClass, buttonProcedure, IDC_ARROW, 0);
        registerClass(kTransparentLabelClass, labelProcedure, IDC_HAND, 0);
        registerClass(kPictureBoxClass, pictureBoxProcedure, IDC_ARROW, 0);
        return true;
    }();
    (void)registered;
}

void rescaleImageButton(HWND button, HFONT font, int dpi) {
    if (auto* state = stateOf<ButtonState>(button)) {
        state->setup.font = font;
        state->setup.dpi = dpi;
        state->picturesTaken = false;
        InvalidateRect(button, nullptr, FALSE);
    }
}

HWND createImageButton(HWND parent, const RECT& place, DWORD style, ButtonSetup setup) {
    auto state = std::make_unique<ButtonState>();
    state->setup = std::move(setup);
    HWND window = CreateWindowExW(0, kImageButtonClass, state->setup.caption.c_str(),
                                  style | WS_CHILD | WS_TABSTOP, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, parent,
                                  nullptr, GetModuleHandleW(nullptr), state.get());
    if (window != nullptr) {
        state.release();  // the window owns it now
    }
    return window;
}

void setButtonCaption(HWND button, const std::wstring& caption) {
    if (auto* state = stateOf<ButtonState>(button)) {
        state->setup.caption = caption;
        SetWindowTextW(button, caption.c_str());
        InvalidateRect(button, nullptr, FALSE);
    }
}

HWND createTransparentLabel(HWND parent, const RECT& place, DWORD style, LabelSetup setup) {
    auto state = std::make_unique<LabelState>();
    state->setup = std::move(setup);
    state->lineHeight = characterHeight(state->setup.font);
    HWND window =
        CreateWindowExW(0, kTransparentLabelClass, state->setup.caption.c_str(), style | WS_CHILD,
                        place.left, place.top, place.right - place.left, place.bottom - place.top,
                        parent, nullptr, GetModuleHandleW(nullptr), state.get());
    if (window != nullptr) {
        state.release();
    }
    return window;
}

void rescaleLabel(HWND label, HFONT font, int dpi) {
    if (auto* state = stateOf<LabelState>(label)) {
        state->setup.font = font;
        state->setup.dpi = dpi;
        state->lineHeight = characterHeight(font);
        InvalidateRect(label, nullptr, FALSE);
    }
}

void setLabelCaption(HWND label, const std::wstring& caption) {
    if (auto* state = stateOf<LabelState>(label)) {
        state->setup.caption = caption;
        SetWindowTextW(label, caption.c_str());
        // It has no background: what lies under it is drawn again with it.
        InvalidateRect(label, nullptr, FALSE);
    }
}

HWND createPictureBox(HWND parent, const RECT& place, DWORD style, std::string_view asset) {
    auto state = std::make_unique<PictureBoxState>();
    state->asset = asset;
    HWND window = CreateWindowExW(WS_EX_CONTROLPARENT, kPictureBoxClass, L"",
                                  style | WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, place.left,
                                  place.top, place.right - place.left, place.bottom - place.top,
                                  parent, nullptr, GetModuleHandleW(nullptr), state.get());
    if (window != nullptr) {
        state.release();
    }
    return window;
}

void setPictureBoxPixels(HWND box, Picture pixels) {
    if (auto* state = stateOf<PictureBoxState>(box)) {
        state->pixels = std::move(pixels);
        InvalidateRect(box, nullptr, FALSE);
    }
}

void paintPictureBox(HWND box, HDC dc) {
    RECT area;
    GetClientRect(box, &area);
    fill(dc, area, RGB(0, 0, 0));
    auto* state = stateOf<PictureBoxState>(box);
    if (state != nullptr && !state->pixels.empty()) {
        drawSharp(dc, state->pixels, area);
        return;
    }
    const Picture* picture =
        state != nullptr && !state->asset.empty() ? embeddedPicture(state->asset) : nullptr;
    if (picture != nullptr) {
        drawStretched(dc, *picture, area);
    }
}

}  // namespace lumivox::win32
