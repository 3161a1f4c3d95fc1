#include "base/Encoding.hpp"

#include <iconv.h>

#include <cerrno>

#include "base/ByteEscape.hpp"

namespace lumivox {
namespace {

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
