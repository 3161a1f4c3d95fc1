// The song reader's ID3v2 / TAG bounds on any bytes: the input is taken as a
// whole file (its first 10 and last 128 bytes).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sound/SongFileReader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const auto head = file.first(std::min<std::size_t>(10, size));
    const auto tail = size >= 128 ? file.last(128) : std::span<const std::uint8_t>();
    const auto bounds = lumivox::songStreamBounds(head, tail, size);
    if (bounds.length > size) {
        __builtin_trap();
    }
    return 0;
}
