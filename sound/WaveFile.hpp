#pragma once
// Finding the `fmt ` and `data` chunks of RIFF/WAVE data held in memory.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace lumivox {

struct WaveChunks {
    std::span<const std::uint8_t> format;  // body of the first `fmt ` chunk
    std::span<const std::uint8_t> data;    // body of the first `data` chunk, never empty
};

// Nothing when the block is shorter than 36 bytes, is not RIFF/WAVE, or lacks a
// `fmt ` chunk or a non-empty `data` chunk within the RIFF size. Chunks follow
// one another with no pad byte after an odd size; `fmt ` and `data` may come in
// either order. A `data` chunk that claims more bytes than the block holds is
// cut to what is there; a `fmt ` chunk cut short counts as missing.
std::optional<WaveChunks> findWaveChunks(std::span<const std::uint8_t> file);

std::uint32_t readLe32(const std::uint8_t* bytes);

// A `fmt ` chunk body for 16-bit PCM (the sound the decoders and the synthesizer make).
std::array<std::uint8_t, 16> pcm16FormatBody(std::uint32_t rate, std::uint16_t channels);

}  // namespace lumivox
