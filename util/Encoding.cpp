#include "util/Encoding.hpp"

#include <iconv.h>

#include <cerrno>

namespace lumivox {
namespace {

// A byte that is not valid UTF-8 (a file name in another encoding) is carried in
// a text as a GB18030-shaped four-byte sequence that no character uses (the
// range after U+FFFF and before the supplementary planes), so that it goes back
// to the same byte at the boundary and the double-byte scanning of texts stays
// aligned: 84 39 then the byte's offset from 0x80 in the last two places.
constexpr unsigned char kEscapeFirst = 0x84, kEscapeSecond = 0x39;

std::string escapeByte(unsigned char byte) {
    const int offset = byte - 0x80;
    return {static_cast<char>(kEscapeFirst), static_cast<char>(kEscapeSecond),
            static_cast<char>(0x81 + offset / 10), static_cast<char>(0x30 + offset % 10)};
}

// The byte an escape at the start of `rest` stands for, or -1.
int escapedByte(std::string_view rest) {
    if (rest.size() < 4 || static_cast<unsigned char>(rest[0]) != kEscapeFirst ||
        static_cast<unsigned char>(rest[1]) != kEscapeSecond) {
        return -1;
    }
    const int high = static_cast<unsigned char>(rest[2]) - 0x81;
    const int low = static_cast<unsigned char>(rest[3]) - 0x30;
    const int offset = high * 10 + low;
    return high >= 0 && low >= 0 && low <= 9 && offset < 0x80 ? 0x80 + offset : -1;
}

struct Replacement {
    std::string bytes;
    size_t consumed;  // input bytes it stands for
};

// One conversion through glibc iconv. Where the input does not convert,
// `onInvalid` gets the rest of the input and says what goes to the output and
// how far the input moves on.
template <typename OnInvalid>
std::string convert(const char* to, const char* from, std::string_view in, OnInvalid onInvalid) {
    std::string out;
    if (in.empty()) {
        return out;
    }
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(in);
    }
    out.reserve(in.size() * 2);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int error = errno;  // before anything that may allocate
        out.append(buffer, dst);
        if (rc == static_cast<size_t>(-1) && error != E2BIG) {
            // EILSEQ or EINVAL (truncated sequence at the end).
            const Replacement replacement = onInvalid(std::string_view(src, srcLeft));
            out += replacement.bytes;
            src += replacement.consumed;
            srcLeft -= replacement.consumed;
        }
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    iconv_close(cd);
    return out;
}

}  // namespace

Text utf8ToGbk(std::string_view utf8) {
    return convert("GB18030", "UTF-8", utf8, [](std::string_view rest) {
        const auto byte = static_cast<unsigned char>(rest[0]);
        return Replacement{byte >= 0x80 ? escapeByte(byte) : std::string(1, rest[0]), 1};
    });
}

std::string gbkToUtf8(std::string_view gbk) {
    return convert("UTF-8", "GB18030", gbk, [](std::string_view rest) {
        const int byte = escapedByte(rest);
        return byte >= 0 ? Replacement{std::string(1, static_cast<char>(byte)), 4}
                         : Replacement{"\xEF\xBF\xBD", 1};
    });
}

}  // namespace lumivox
