// The phrase settings file as start-up reads it, on arbitrary bytes: the text up
// to the first NUL, split into at most twelve phrases. Saving those phrases and
// reading the result again must give the same phrases, unless a phrase ends in
// half a two-byte character (then its last byte pairs with the separator's
// first, as on the original platform, and the fields run together).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "hotkeys/PhraseSettings.hpp"

using namespace lumivox;

namespace {

// True when the text ends inside a two-byte character.
bool endsInsideCharacter(const Text& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
    }
    return i > text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text text = valueToText(std::span<const std::uint8_t>(data, size));
    const TextArray fields = phraseFields(text);
    if (fields.size() > 12) {
        std::abort();
    }
    PhraseTexts phrases;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (endsInsideCharacter(fields[i]) ||
            fields[i].find(kSettingsSeparator) != std::string::npos) {
            return 0;
        }
        phrases[i] = fields[i];
    }
    const TextArray again = phraseFields(joinPhrases(phrases));
    if (again.size() != 12) {
        std::abort();
    }
    for (std::size_t i = 0; i < 12; ++i) {
        if (again[i] != phrases[i]) {
            std::abort();
        }
    }
    return 0;
}
