#include "util/Encoding.hpp"

#include <iconv.h>

#include <cerrno>

namespace lumivox {
namespace {

// One conversion through glibc iconv. On a byte that does not convert,
// `onInvalid` decides what goes to the output and the input moves one byte on.
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
        size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, dst);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            // EILSEQ or EINVAL (truncated sequence at the end): skip one byte.
            out += onInvalid(static_cast<unsigned char>(*src));
            ++src;
            --srcLeft;
        }
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    iconv_close(cd);
    return out;
}

}  // namespace

Text utf8ToGbk(std::string_view utf8) {
    return convert("GB18030", "UTF-8", utf8,
                   [](unsigned char byte) { return std::string(1, static_cast<char>(byte)); });
}

std::string gbkToUtf8(std::string_view gbk) {
    return convert("UTF-8", "GB18030", gbk, [](unsigned char) { return std::string("\xEF\xBF\xBD"); });
}

}  // namespace lumivox
