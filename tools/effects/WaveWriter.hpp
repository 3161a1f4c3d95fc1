#pragma once
// Complete RIFF/WAVE files of the effects: `fmt ` directly followed by `data`
// for PCM; `fmt `, `fact`, `data` for Microsoft ADPCM.
#include <cstdint>
#include <vector>

#include "sound/BuiltinSoundTable.hpp"

namespace effects {

// `interleaved` holds row.channels samples per frame in [-1, 1], exactly as many
// frames as the row's data size gives.
std::vector<std::uint8_t> encodeWave(const lumivox::BuiltinSoundRow& row,
                                     const std::vector<float>& interleaved);

// Mono Microsoft ADPCM blocks of `blockBytes` (the last one may be shorter);
// samples are 16-bit. Each block's predictor and first step are the ones that
// code it with the least error.
std::vector<std::uint8_t> encodeMsAdpcm(const std::vector<std::int16_t>& samples, int blockBytes);
// Samples a mono ADPCM data block of that many bytes holds.
std::size_t msAdpcmSampleCount(std::size_t dataBytes, int blockBytes);

}  // namespace effects
