#pragma once
// The control kinds the system does not supply, as window classes of their own:
// the image button, the transparent label and the picture box. Each keeps its
// look and caption in a record of its window; events go to the callbacks given.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "forms/Layout.hpp"
#include "forms/win32/Win32Pictures.hpp"

namespace lumivox::win32 {

// The font of a layout setting (the default GUI font when it names no face)
// at `dpi`, made once for each setting and DPI and kept.
HFONT fontFor(const layout::Font& spec, int dpi);
// The character height of a font made by fontFor, in pixels.
int characterHeight(HFONT font);

// A GDI colour of a layout colour (both 0x00BBGGRR).
inline COLORREF colourOf(layout::Colour colour) {
    return colour == layout::kDefaultColour ? GetSysColor(COLOR_BTNFACE)
                                            : static_cast<COLORREF>(colour);
}

// Registers the classes below (once per process).
void registerControlClasses();

inline constexpr wchar_t kImageButtonClass[] = L"LumivoxImageButton";
inline constexpr wchar_t kTransparentLabelClass[] = L"LumivoxTransparentLabel";
inline constexpr wchar_t kPictureBoxClass[] = L"LumivoxPictureBox";

// Children that the control kinds' procedures and the form's share.
// Sent to an image button when its window is deactivated: the mouse-over state ends.
inline constexpr UINT kEndHover = WM_APP + 1;

struct ButtonSetup {
    layout::ButtonLook look;
    HFONT font = nullptr;
    int dpi = 96;  // its pictures and pressed offset are scaled to it
    std::wstring caption;
    std::function<void()> clicked;
};
HWND createImageButton(HWND parent, const RECT& place, DWORD style, ButtonSetup setup);
// After a move to a monitor of another DPI: the font and pictures of that DPI.
void rescaleImageButton(HWND button, HFONT font, int dpi);
void setButtonCaption(HWND button, const std::wstring& caption);

struct LabelSetup {
    layout::LabelLook look;
    HFONT font = nullptr;
    int dpi = 96;  // its text effects' offsets are scaled to it
    std::wstring caption;
    // x, y in label coordinates (the layout's pixels, at 96 DPI) and the key
    // state (1 Ctrl, 2 Shift, 4 Alt).
    std::function<void(int x, int y, int keyState)> leftButtonDown;
};
HWND createTransparentLabel(HWND parent, const RECT& place, DWORD style, LabelSetup setup);
void rescaleLabel(HWND label, HFONT font, int dpi);
// Also the label's window text.
void setLabelCaption(HWND label, const std::wstring& caption);

// A black box, with the embedded picture `asset` (if any) stretched over it,
// decoded at its first paint. It holds other controls: transparent labels on
// it draw over its picture.
HWND createPictureBox(HWND parent, const RECT& place, DWORD style, std::string_view asset);

// Paints what a control would show under a transparent child: the form and the
// picture boxes answer WM_PRINTCLIENT with their background.
void paintPictureBox(HWND box, HDC dc);
// Pixels made at runtime, shown in place of the box's picture.
void setPictureBoxPixels(HWND box, Picture pixels);

}  // namespace lumivox::win32
