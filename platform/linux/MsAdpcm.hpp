#pragma once
// Microsoft ADPCM (format tag 2) to 16-bit PCM, block by block. Blocks may be
// split across the buffers a voice writes, so bytes of an unfinished block are
// carried to the next call.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/linux/WaveFormat.hpp"

namespace lumivox::platform {

class MsAdpcmDecoder {
public:
    explicit MsAdpcmDecoder(const WaveFormat& format) : format_(format) {}

    // Decodes every whole block of carry + `bytes`, appending interleaved
    // 16-bit little-endian samples to `pcm`.
    void decode(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& pcm);
    // The partial block left at the end of the sound, decoded as far as it goes.
    void finish(std::vector<std::uint8_t>& pcm) {
        decodeBlock(format_, carry_, pcm);
        carry_.clear();
    }
    // Forgets a carried partial block (after a reset).
    void clear() { carry_.clear(); }

    // One block of at most blockAlign bytes; a short block gives the samples its bytes hold.
    static void decodeBlock(const WaveFormat& format, std::span<const std::uint8_t> block,
                            std::vector<std::uint8_t>& pcm);

private:
    WaveFormat format_;
    std::vector<std::uint8_t> carry_;
};

}  // namespace lumivox::platform
