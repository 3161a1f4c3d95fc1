#pragma once
// How much of a connection's bytes make one whole request, judged before the
// HTTP library sees any of it: the request's head must end (a blank line) within
// kMaxHeadBytes, and its body, given by Content-Length, may hold kMaxBodyBytes at
// most. A body without a length (Transfer-Encoding) is refused: the API takes no
// body, and an endless one must not hold a connection. The library parses the
// request itself; this only finds where it ends.
#include <cstddef>
#include <string_view>

namespace lumivox {

inline constexpr std::size_t kMaxHeadBytes = 16 * 1024;
inline constexpr std::size_t kMaxBodyBytes = 4 * 1024;

struct Framing {
    enum class Kind { Incomplete, Complete, Refused } kind = Kind::Incomplete;
    std::size_t length = 0;  // Complete: the bytes of the request (head and body)
    int status = 0;          // Refused: 400, 413 or 431
};

Framing frameRequest(std::string_view received);

}  // namespace lumivox
