#include "hotkeys/PhraseSettings.hpp"

#include <string>

#include "forms/Window.hpp"
#include "forms/WindowText.hpp"
#include "platform/SystemOps.hpp"

namespace lumivox {
namespace {

constexpr std::string_view kSettingsStore = "编辑框快捷配置";
constexpr int kPhraseCount = 12;

std::string phraseBox(int n) {
    return "快捷编辑框" + std::to_string(n);
}

}  // namespace

Text joinPhrases(const PhraseTexts& phrases) {
    Text body;
    for (const Text& phrase : phrases) {
        body += joinTexts(phrase, kSettingsSeparator);
    }
    return body;
}

TextArray phraseFields(std::string_view settingsText) {
    TextArray fields = splitText(settingsText, kSettingsSeparator);
    if (fields.size() > kPhraseCount) {
        fields.resize(kPhraseCount);
    }
    return fields;
}

void saveHotkeyPhrases(Window& window, std::string_view filePath) {
    for (int n = 1; n <= kPhraseCount; ++n) {
        if (textsEqual(window.text(phraseBox(n)), "")) {
            window.setText(phraseBox(n), Text(kPhrasePlaceholder));
            break;  // only the first empty box
        }
    }
    window.setText(kSettingsStore, "");
    PhraseTexts phrases;
    for (int n = 1; n <= kPhraseCount; ++n) {
        phrases[static_cast<std::size_t>(n - 1)] = window.text(phraseBox(n));
    }
    appendToEditBox(window, kSettingsStore, joinPhrases(phrases));
    writeWholeFile(filePath, textToBytes(window.text(kSettingsStore)));
}

void loadHotkeyPhrases(Window& window) {
    const TextArray fields = phraseFields(window.text(kSettingsStore));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        window.setText(phraseBox(static_cast<int>(i + 1)), fields[i]);
    }
}

}  // namespace lumivox
