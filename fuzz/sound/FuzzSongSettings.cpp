// The song slots' settings text on any bytes: at most 36 fields, together no
// longer than the input. (A field may hold separator bytes that a GBK lead byte
// before them takes apart: the split steps over double-byte characters.)
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sound/CustomSongSlots.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto fields = lumivox::customSongFields(text);
    std::size_t bytes = 0;
    for (const auto& field : fields) {
        bytes += field.size();
    }
    if (fields.size() > 36 || bytes > size) {
        __builtin_trap();
    }
    return 0;
}
