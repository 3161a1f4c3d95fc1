#include "sound/WaveFile.hpp"

#include <cstring>

namespace lumivox {

std::uint32_t readLe32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::array<std::uint8_t, 16> pcm16FormatBody(std::uint32_t rate, std::uint16_t channels) {
    std::array<std::uint8_t, 16> body{};
    const auto put = [&body](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            body[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    const std::uint32_t blockAlign = channels * 2u;
    put(0, 1, 2);  // PCM
    put(2, channels, 2);
    put(4, rate, 4);
    put(8, rate * blockAlign, 4);
    put(12, blockAlign, 2);
    put(14, 16, 2);
    return body;
}

std::optional<WaveChunks> findWaveChunks(std::span<const std::uint8_t> file) {
    constexpr std::size_t kMinimumBytes = 36;
    if (file.size() < kMinimumBytes || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    const std::uint64_t riffEnd = 12 + static_cast<std::uint64_t>(readLe32(file.data() + 4));
    std::optional<std::span<const std::uint8_t>> format;
    std::optional<std::span<const std::uint8_t>> data;
    std::uint64_t at = 12;
    while (!(format && data) && at < riffEnd && at + 8 <= file.size()) {
        const std::uint8_t* header = file.data() + at;
        const std::uint64_t body = at + 8;
        const std::uint64_t size = readLe32(header + 4);
        const std::uint64_t available = file.size() - body;
        if (!format && std::memcmp(header, "fmt ", 4) == 0) {
            if (size > available) {
                return std::nullopt;
            }
            format = file.subspan(body, size);
        } else if (!data && std::memcmp(header, "data", 4) == 0) {
            data = file.subspan(body, size < available ? size : available);
        }
        at = body + size;
    }
    if (!format || !data || data->empty()) {
        return std::nullopt;
    }
    return WaveChunks{*format, *data};
}

}  // namespace lumivox
