#pragma once
// Conversions at every boundary with the operating system or Qt: inside the
// program texts are GBK, outside they are UTF-8.
#include <string>
#include <string_view>

#include "util/Types.hpp"

namespace lumivox {

// UTF-8 to GBK. Characters GBK lacks become GB18030 four-byte sequences, so
// nothing is lost. Invalid UTF-8 bytes are kept as they are.
Text utf8ToGbk(std::string_view utf8);

// GBK (or GB18030) to UTF-8. A byte sequence that does not decode becomes U+FFFD.
std::string gbkToUtf8(std::string_view gbk);

}  // namespace lumivox
