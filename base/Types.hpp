#pragma once
// The two value types every handler and engine trades in.
#include <cstdint>
#include <string>
#include <vector>

namespace lumivox {

// A text: GBK bytes (characters outside GBK kept as GB18030 four-byte sequences).
// Lengths and positions count bytes. The empty string stands for an absent text.
using Text = std::string;

// A length-counted block of bytes: file contents, embedded sounds, HTTP bodies.
using ByteData = std::vector<std::uint8_t>;

}  // namespace lumivox
