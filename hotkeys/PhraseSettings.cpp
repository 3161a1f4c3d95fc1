#include "hotkeys/PhraseSettings.hpp"

#include <string>

#include "shell/Window.hpp"
#include "util/TextUtil.hpp"

namespace lumivox {
namespace {

constexpr std::string_view kSettingsStore = "编辑框快捷配置";
constexpr int kPhraseCount = 12;

std::string phraseBox(int n) {
    return "快捷编辑框" + std::to_string(n);
}

}  // namespace

void saveHotkeyPhrases(Window& window, std::string_view filePath) {
    for (int n = 1; n <= kPhraseCount; ++n) {
        if (textsEqual(window.text(phraseBox(n)), "")) {
            window.setText(phraseBox(n), Text(kPhrasePlaceholder));
            break;  // only the first empty box
        }
    }
    window.setText(kSettingsStore, "");
    Text body;
    for (int n = 1; n <= kPhraseCount; ++n) {
        body += joinTexts(window.text(phraseBox(n)), kSettingsSeparator);
    }
    appendToEditBox(window, kSettingsStore, body);
    writeWholeFile(filePath, textToBytes(window.text(kSettingsStore)));
}

void loadHotkeyPhrases(Window& window) {
    const TextArray fields = splitText(window.text(kSettingsStore), kSettingsSeparator);
    for (int n = 1; n <= kPhraseCount && static_cast<std::size_t>(n) <= fields.size(); ++n) {
        window.setText(phraseBox(n), fields[static_cast<std::size_t>(n - 1)]);
    }
}

}  // namespace lumivox
