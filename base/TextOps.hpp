#pragma once
// The text operations every handler uses. Texts are GBK bytes: lengths and
// positions count bytes, positions are 1-based and -1 means not found, and
// searches step over a two-byte character (lead byte 0x80 or above) as a whole.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "base/Types.hpp"

namespace lumivox {

using TextArray = std::vector<Text>;
using ByteView = std::span<const std::uint8_t>;

// "￥￥￥￥￥￥%%%%%%%" in GBK: 19 bytes that follow every field of both settings files.
inline constexpr std::string_view kSettingsSeparator =
    "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";

// ---- texts ----
int textByteCount(std::string_view text);
// The last n bytes (bytes, not characters); n <= 0 gives the empty text.
Text rightPart(std::string_view text, int n);
// 1-based start of the last occurrence of `search` at a character start, or -1.
int findLastText(std::string_view text, std::string_view search);
// Fields between separators: a leading separator gives an empty first field,
// adjacent separators an empty field between them, a trailing one nothing more.
TextArray splitText(std::string_view text, std::string_view separator);
// Cuts leading and trailing ASCII and ideographic (A1 A1) spaces.
Text trimSpaces(std::string_view text);
Text valueToText(ByteView bytes);  // up to the first 0 byte
Text valueToText(std::int32_t value);  // "%d"
Text valueToText(double value);        // "%.13g"
ByteData textToBytes(std::string_view text);
bool textsEqual(std::string_view a, std::string_view b);

Text joinTexts(std::initializer_list<std::string_view> parts);
template <typename... Parts>
Text joinTexts(const Parts&... parts) {
    return joinTexts({std::string_view(parts)...});
}

// Rounds halves away from zero at `digits` decimal places (negative: tens,
// hundreds...), with a 1e-12 nudge so that 1.005 rounds to 1.01.
double roundHalfAway(double x, int digits = 0);

}  // namespace lumivox
