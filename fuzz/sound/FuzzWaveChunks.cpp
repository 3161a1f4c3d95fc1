// The WAV chunk walk on any bytes: spans must stay inside the input.
#include <cstddef>
#include <cstdint>

#include "sound/WaveFile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto chunks = lumivox::findWaveChunks({data, size});
    if (chunks) {
        volatile std::uint8_t sink = 0;
        for (std::uint8_t byte : chunks->format) {
            sink = sink ^ byte;
        }
        for (std::uint8_t byte : chunks->data) {
            sink = sink ^ byte;
        }
    }
    return 0;
}
