// The `fmt ` reader and the Microsoft ADPCM decoder on any bytes: the first
// byte gives the size of the `fmt ` body, the second where the data after it is
// split between two decode calls (blocks carried across calls), the rest is data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/linux/MsAdpcm.hpp"
#include "platform/linux/WaveFormat.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t formatSize = std::min<std::size_t>(data[0], size - 2);
    const std::span<const std::uint8_t> body(data + 2, formatSize);
    const auto format = lumivox::platform::readWaveFormat(body);
    if (!format || format->kind != lumivox::platform::SampleKind::msAdpcm) {
        return 0;
    }
    const std::span<const std::uint8_t> samples(data + 2 + formatSize, size - 2 - formatSize);
    const std::size_t split = std::min<std::size_t>(samples.size(), data[1] * 7u);
    lumivox::platform::MsAdpcmDecoder decoder(*format);
    std::vector<std::uint8_t> pcm;
    decoder.decode(samples.first(split), pcm);
    decoder.decode(samples.subspan(split), pcm);
    decoder.finish(pcm);
    // Every whole block gives at most its samples per block, per channel.
    const std::size_t blocks = samples.size() / format->blockAlign + 1;
    if (pcm.size() > blocks * format->samplesPerBlock * format->channels * 2) {
        __builtin_trap();
    }
    return 0;
}
