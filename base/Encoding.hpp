#pragma once
// Conversions at every boundary with the operating system or Qt: inside the
// program texts are GBK, outside they are UTF-8.
#include <string>
#include <string_view>

#include "base/Types.hpp"

namespace lumivox {

// UTF-8 to GBK. Characters GBK lacks become GB18030 four-byte sequences, so
// nothing is lost. A byte that is not valid UTF-8 (a path in another encoding)
// becomes a four-byte sequence of its own that `gbkToUtf8` turns back into it.
Text utf8ToGbk(std::string_view utf8);

// GBK (or GB18030) to UTF-8. A byte sequence that does not decode becomes U+FFFD;
// one that `utf8ToGbk` made of an invalid byte becomes that byte again.
std::string gbkToUtf8(std::string_view gbk);

}  // namespace lumivox
