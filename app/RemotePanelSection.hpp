#pragma once
// The "遥控面板" block of the settings window: the switch, "允许局域网设备",
// "更换令牌" (each a line that says what it is now and its button), the panel's address and the QR
// code of its link (the token in the link's fragment). GUI thread.
#include "forms/Window.hpp"

namespace lumivox {

// Shows the block as the settings and the server stand now.
void showRemoteSection(Window& settingsWindow);
// Click of 遥控按钮N: 1 the switch, 2 "允许局域网设备", 3 "更换令牌". The change
// is saved in lumivox.ini, the server follows it, and the block shows it.
void onRemoteButton(Window& settingsWindow, int number);

// The QR code of `text` as pixels (0x00RRGGBB, black on white, a quiet zone of
// four modules) for a square picture box of `size` pixels, whole pixels a module;
// empty when the text makes no code or the box is too small for it.
std::vector<std::uint32_t> qrPixels(std::string_view text, int size);

}  // namespace lumivox
