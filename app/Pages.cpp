#include "app/Pages.hpp"

namespace lumivox {
namespace {

constexpr std::string_view kSoundPage = "图片框3";
constexpr std::string_view kSongPage = "图片框1";
constexpr std::string_view kHotkeyPage = "图片框4";

void showPage(Window& window, std::string_view shown, std::string_view hidden1,
              std::string_view hidden2) {
    window.setVisible(shown, true);
    window.setVisible(hidden1, false);
    window.setVisible(hidden2, false);
}

}  // namespace

void showHotkeyPage(Window& window) {
    showPage(window, kHotkeyPage, kSongPage, kSoundPage);
}

void showBuiltinSoundPage(Window& window) {
    showPage(window, kSoundPage, kHotkeyPage, kSongPage);
}

void showCustomSongPage(Window& window) {
    showPage(window, kSongPage, kHotkeyPage, kSoundPage);
}

}  // namespace lumivox
