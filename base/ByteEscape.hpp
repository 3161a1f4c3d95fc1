#pragma once
// A byte that is not valid UTF-8 (a path in another encoding) travels inside a
// text as a GB18030-shaped four-byte sequence that no character uses (the range
// after U+FFFF and before the supplementary planes): 84 39, then the byte's
// offset from 0x80 in the last two places. It goes back to the same byte at the
// boundary, and the double-byte scanning of texts stays aligned. Both builds'
// conversions use this one escape, so a text means the same on either.
#include <string>
#include <string_view>

namespace lumivox {

inline constexpr unsigned char kEscapeFirst = 0x84, kEscapeSecond = 0x39;

inline std::string escapeByte(unsigned char byte) {
    const int offset = byte - 0x80;
    return {static_cast<char>(kEscapeFirst), static_cast<char>(kEscapeSecond),
            static_cast<char>(0x81 + offset / 10), static_cast<char>(0x30 + offset % 10)};
}

// The byte an escape at the start of `rest` stands for, or -1.
inline int escapedByte(std::string_view rest) {
    if (rest.size() < 4 || static_cast<unsigned char>(rest[0]) != kEscapeFirst ||
        static_cast<unsigned char>(rest[1]) != kEscapeSecond) {
        return -1;
    }
    const int high = static_cast<unsigned char>(rest[2]) - 0x81;
    const int low = static_cast<unsigned char>(rest[3]) - 0x30;
    const int offset = high * 10 + low;
    return high >= 0 && low >= 0 && low <= 9 && offset < 0x80 ? 0x80 + offset : -1;
}

}  // namespace lumivox
