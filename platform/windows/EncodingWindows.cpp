// The text conversions on Windows, through the system's GB18030 code page
// (54936; GBK, 936, where a system lacks it, as Wine 8 does). The system
// converts whole valid runs; the bytes around an invalid one are found here, so
// a bad byte costs that byte alone, as on Linux.
#include <windows.h>

#include <cstdint>

#include "base/ByteEscape.hpp"
#include "base/Encoding.hpp"

namespace lumivox {
namespace {

UINT chineseCodePage() {
    static const UINT page = IsValidCodePage(54936) ? 54936 : 936;
    return page;
}

// The length of the UTF-8 sequence at `at` and its code point, or 0 when the
// byte there starts no valid sequence.
size_t utf8Sequence(std::string_view in, size_t at, char32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<std::uint8_t>(in[at + i]); };
    const std::uint8_t lead = byte(0);
    size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > in.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

// The length of the GB18030 sequence at `at` by its shape (one, two or four
// bytes), or 0 when the byte there starts none.
size_t gbSequence(std::string_view in, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<std::uint8_t>(in[at + i]); };
    const size_t left = in.size() - at;
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    if (lead == 0x80 || lead == 0xFF || left < 2) {
        return 0;
    }
    const std::uint8_t second = byte(1);
    if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE)) {
        return 2;
    }
    if (second >= 0x30 && second <= 0x39 && left >= 4 && byte(2) >= 0x81 && byte(2) <= 0xFE &&
        byte(3) >= 0x30 && byte(3) <= 0x39) {
        return 4;
    }
    return 0;
}

std::string fromWide(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

// The UTF-16 of valid GB18030 bytes; false when the system finds one it cannot map.
bool gbToWide(std::string_view gb, std::wstring& wide) {
    const int size = static_cast<int>(gb.size());
    const int length =
        MultiByteToWideChar(chineseCodePage(), MB_ERR_INVALID_CHARS, gb.data(), size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    const size_t start = wide.size();
    wide.resize(start + static_cast<size_t>(length));
    MultiByteToWideChar(chineseCodePage(), MB_ERR_INVALID_CHARS, gb.data(), size,
                        wide.data() + start, length);
    return true;
}

}  // namespace

Text utf8ToGbk(std::string_view utf8) {
    Text out;
    std::wstring run;  // valid characters not yet converted
    for (size_t at = 0; at < utf8.size();) {
        char32_t code = 0;
        const size_t length = utf8Sequence(utf8, at, code);
        if (length == 0) {
            out += fromWide(chineseCodePage(), run);
            run.clear();
            const auto byte = static_cast<unsigned char>(utf8[at++]);
            out += byte >= 0x80 ? escapeByte(byte) : std::string(1, static_cast<char>(byte));
            continue;
        }
        if (code >= 0x10000) {
            run += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            run += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            run += static_cast<wchar_t>(code);
        }
        at += length;
    }
    return out + fromWide(chineseCodePage(), run);
}

std::string gbkToUtf8(std::string_view gbk) {
    std::string out;
    std::wstring wide;
    size_t runStart = 0;
    // Converts the well-shaped bytes before `end`; when the system rejects the
    // run, sequence by sequence, each rejected one as U+FFFD.
    const auto flush = [&](size_t end) {
        const std::string_view run = gbk.substr(runStart, end - runStart);
        if (!run.empty() && !gbToWide(run, wide)) {
            for (size_t at = 0; at < run.size();) {
                const size_t length = gbSequence(run, at);
                if (length > 0 && gbToWide(run.substr(at, length), wide)) {
                    at += length;
                } else {
                    wide += L'\uFFFD';
                    ++at;
                }
            }
        }
        out += fromWide(CP_UTF8, wide);
        wide.clear();
    };
    for (size_t at = 0; at < gbk.size();) {
        const int escaped = escapedByte(gbk.substr(at));
        if (escaped >= 0) {
            flush(at);
            out += static_cast<char>(escaped);
            runStart = at += 4;
            continue;
        }
        const size_t length = gbSequence(gbk, at);
        if (length == 0) {
            flush(at);
            out += "\xEF\xBF\xBD";
            runStart = ++at;
        } else {
            at += length;
        }
    }
    flush(gbk.size());
    return out;
}

}  // namespace lumivox
