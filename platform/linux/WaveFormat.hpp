#pragma once
// The sample formats the Linux wave-output layer accepts, read from a WAV
// `fmt ` chunk body: PCM of 8, 16, 24 or 32 bits, IEEE float, either plainly or
// as WAVE_FORMAT_EXTENSIBLE, and Microsoft ADPCM (decoded here, as the Windows
// wave mapper would).
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace lumivox::platform {

enum class SampleKind { unsigned8, signed16, signed24, signed32, signed24In32, float32, msAdpcm };

struct WaveFormat {
    SampleKind kind = SampleKind::signed16;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    // Microsoft ADPCM only.
    std::uint16_t samplesPerBlock = 0;
    std::vector<std::pair<std::int16_t, std::int16_t>> coefficients;
};

// Nothing when the body is too short, names another format, or is inconsistent.
std::optional<WaveFormat> readWaveFormat(std::span<const std::uint8_t> body);

}  // namespace lumivox::platform
