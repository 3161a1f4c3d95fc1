#include "hotkeys/SimulateKeys.hpp"

#include "base/Encoding.hpp"

namespace lumivox {
namespace {

// The first character of UTF-8 text; 0 for empty or broken text.
char32_t firstCharacter(std::string_view utf8) {
    if (utf8.empty()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(utf8[0]);
    const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || utf8.size() < static_cast<std::size_t>(length)) {
        return 0;
    }
    if (length == 1) {
        return lead;
    }
    char32_t value = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        value =
            (value << 6) | (static_cast<unsigned char>(utf8[static_cast<std::size_t>(i)]) & 0x3F);
    }
    return value;
}

}  // namespace

int KeyArgument::code(platform::KeyInjector& injector) const {
    if (const int* virtualKey = std::get_if<int>(&value_)) {
        return *virtualKey & 0xFF;
    }
    const Text& text = std::get<Text>(value_);
    if (text.empty()) {
        return 0;
    }
    // Only the first character counts; a two-byte GBK character is converted whole.
    const std::size_t first = static_cast<unsigned char>(text[0]) >= 0x80 ? 4 : 1;
    const char32_t character = firstCharacter(gbkToUtf8(std::string_view(text).substr(0, first)));
    // Like a failed lookup on the original platform (-1), a character no key
    // types gives the low byte 0xFF, a code that names no key.
    return injector.virtualKeyForCharacter(character) & 0xFF;
}

void simulateKeys(platform::KeyInjector& injector, const KeyArgument& key1, const KeyArgument& key2,
                  const KeyArgument& key3) {
    const int codes[3] = {key1.code(injector), key2.code(injector), key3.code(injector)};
    injector.injectKey(codes[0], true);  // the first key always, even as 0
    for (int i = 1; i < 3; ++i) {
        if (codes[i] != 0) {
            injector.injectKey(codes[i], true);
        }
    }
    injector.injectKey(codes[0], false);
    for (int i = 1; i < 3; ++i) {
        if (codes[i] != 0) {
            injector.injectKey(codes[i], false);
        }
    }
}

void simulateKeys(const KeyArgument& key1, const KeyArgument& key2, const KeyArgument& key3) {
    simulateKeys(platform::systemKeyInjector(), key1, key2, key3);
}

}  // namespace lumivox
