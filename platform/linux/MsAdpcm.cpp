#include "platform/linux/MsAdpcm.hpp"

#include <algorithm>

namespace lumivox::platform {
namespace {

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};

constexpr int kMaxDelta = 0x7FFFFFFF / 768;

struct ChannelState {
    int coefficient1 = 0;
    int coefficient2 = 0;
    int delta = 0;
    int sample1 = 0;
    int sample2 = 0;

    std::int16_t next(int nibble) {
        const int signedNibble = nibble >= 8 ? nibble - 16 : nibble;
        // Floor division (an arithmetic shift), as the common decoders do.
        // In 64 bits: a hostile header's coefficients (-32768) with samples of
        // -32768 would overflow an int.
        std::int64_t predicted = (static_cast<std::int64_t>(sample1) * coefficient1 +
                                  static_cast<std::int64_t>(sample2) * coefficient2) >>
                                 8;
        predicted += static_cast<std::int64_t>(signedNibble) * delta;
        predicted = std::clamp<std::int64_t>(predicted, -32768, 32767);
        sample2 = sample1;
        sample1 = static_cast<int>(predicted);
        // Damaged data could grow the step without bound; keep it within int.
        delta = std::clamp((kAdaptation[nibble] * delta) / 256, 16, kMaxDelta);
        return static_cast<std::int16_t>(predicted);
    }
};

void put16(std::vector<std::uint8_t>& pcm, int value) {
    pcm.push_back(static_cast<std::uint8_t>(value & 0xFF));
    pcm.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

int s16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::int16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace

void MsAdpcmDecoder::decodeBlock(const WaveFormat& format, std::span<const std::uint8_t> block,
                                 std::vector<std::uint8_t>& pcm) {
    const std::size_t channels = format.channels;
    if (block.size() < 7 * channels) {
        return;  // not even a block header: nothing to say
    }
    ChannelState state[2];
    for (std::size_t c = 0; c < channels; ++c) {
        std::size_t predictor = block[c];
        if (predictor >= format.coefficients.size()) {
            predictor = 0;  // a damaged header: decode on with the first pair
        }
        state[c].coefficient1 = format.coefficients[predictor].first;
        state[c].coefficient2 = format.coefficients[predictor].second;
        state[c].delta = std::clamp(s16(block, channels + 2 * c), 16, kMaxDelta);
        state[c].sample1 = s16(block, 3 * channels + 2 * c);
        state[c].sample2 = s16(block, 5 * channels + 2 * c);
    }
    // The header's two samples come out oldest first.
    for (std::size_t c = 0; c < channels; ++c) {
        put16(pcm, state[c].sample2);
    }
    for (std::size_t c = 0; c < channels; ++c) {
        put16(pcm, state[c].sample1);
    }
    const std::size_t nibbleLimit =
        format.samplesPerBlock > 2 ? (format.samplesPerBlock - 2u) * channels : 0;
    std::size_t nibbles = 0;
    for (std::size_t at = 7 * channels; at < block.size() && nibbles < nibbleLimit; ++at) {
        // High nibble first; in stereo the high nibble is the left channel.
        for (int shift : {4, 0}) {
            if (nibbles == nibbleLimit) {
                break;
            }
            const std::size_t channel = nibbles % channels;
            put16(pcm, state[channel].next((block[at] >> shift) & 0x0F));
            ++nibbles;
        }
    }
}

void MsAdpcmDecoder::decode(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& pcm) {
    const std::size_t blockAlign = format_.blockAlign;
    std::size_t used = 0;
    if (!carry_.empty()) {
        used = std::min(bytes.size(), blockAlign - carry_.size());
        carry_.insert(carry_.end(), bytes.begin(), bytes.begin() + static_cast<long>(used));
        if (carry_.size() < blockAlign) {
            return;
        }
        decodeBlock(format_, carry_, pcm);
        carry_.clear();
    }
    while (bytes.size() - used >= blockAlign) {
        decodeBlock(format_, bytes.subspan(used, blockAlign), pcm);
        used += blockAlign;
    }
    carry_.assign(bytes.begin() + static_cast<long>(used), bytes.end());
}

}  // namespace lumivox::platform
