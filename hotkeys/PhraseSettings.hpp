#pragma once
// The twelve phrases' settings file: phrase 1, separator, ..., phrase 12,
// separator, in GBK exactly as the boxes hold them. The whole text passes
// through the hidden box 编辑框快捷配置 in both directions.
#include <array>
#include <string_view>

#include "base/TextOps.hpp"

namespace lumivox {

class Window;

// What the save puts into the first empty phrase box (GBK of "还没有设置").
inline constexpr std::string_view kPhrasePlaceholder = "\xBB\xB9\xC3\xBB\xD3\xD0\xC9\xE8\xD6\xC3";

using PhraseTexts = std::array<Text, 12>;

// The settings text of twelve phrases: each followed by the separator.
Text joinPhrases(const PhraseTexts& phrases);
// The phrases a settings text gives, in box order: at most twelve fields (the
// ones after the twelfth are dropped; a short text gives fewer).
TextArray phraseFields(std::string_view settingsText);

// Click of 保存配置按钮: fills the first empty box with the placeholder, then
// writes all twelve to the file (GBK path), replacing it whole. Nothing is reported.
void saveHotkeyPhrases(Window& window, std::string_view filePath);

// At start-up, with the file's text in 编辑框快捷配置: field n fills phrase box
// n. Fields after the twelfth are dropped; boxes without a field keep their text.
void loadHotkeyPhrases(Window& window);

}  // namespace lumivox
