#include "platform/linux/WaveFormat.hpp"

#include <cstring>

namespace lumivox::platform {
namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagMsAdpcm = 2;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::uint32_t kMaxChannels = 32;  // what the sound server takes

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(le16(b, at)) |
           (static_cast<std::uint32_t>(le16(b, at + 2)) << 16);
}

std::optional<SampleKind> pcmKind(std::uint16_t bits, std::uint16_t validBits) {
    switch (bits) {
        case 8: return SampleKind::unsigned8;
        case 16: return SampleKind::signed16;
        case 24: return SampleKind::signed24;
        case 32: return validBits == 24 ? SampleKind::signed24In32 : SampleKind::signed32;
        default: return std::nullopt;
    }
}

// The standard coefficient pairs every Microsoft ADPCM file carries first.
constexpr std::int16_t kStandardCoefficients[7][2] = {
    {256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};

std::optional<WaveFormat> readAdpcm(std::span<const std::uint8_t> body, WaveFormat format) {
    if (format.blockAlign < 7u * format.channels || format.channels > 2) {
        return std::nullopt;
    }
    // Nibbles after the block header, one sample per channel each, plus the two
    // samples of the header.
    const std::uint32_t fitting =
        (format.blockAlign - 7u * format.channels) * 2u / format.channels + 2u;
    format.samplesPerBlock = static_cast<std::uint16_t>(fitting > 0xFFFF ? 0xFFFF : fitting);
    if (body.size() >= 22) {
        const std::uint16_t given = le16(body, 18);
        if (given >= 2 && given <= fitting) {
            format.samplesPerBlock = given;
        }
        const std::uint16_t count = le16(body, 20);
        if (body.size() >= 22u + 4u * count && count > 0) {
            for (std::uint16_t i = 0; i < count; ++i) {
                format.coefficients.emplace_back(static_cast<std::int16_t>(le16(body, 22 + 4 * i)),
                                                 static_cast<std::int16_t>(le16(body, 24 + 4 * i)));
            }
        }
    }
    if (format.coefficients.empty()) {
        for (const auto& pair : kStandardCoefficients) {
            format.coefficients.emplace_back(pair[0], pair[1]);
        }
    }
    return format;
}

}  // namespace

std::optional<WaveFormat> readWaveFormat(std::span<const std::uint8_t> body) {
    if (body.size() < 14) {
        return std::nullopt;
    }
    std::uint16_t tag = le16(body, 0);
    WaveFormat format;
    format.channels = le16(body, 2);
    format.samplesPerSecond = le32(body, 4);
    format.blockAlign = le16(body, 12);
    const std::uint16_t bits = body.size() >= 16 ? le16(body, 14) : 8;
    if (format.channels == 0 || format.channels > kMaxChannels || format.samplesPerSecond == 0 ||
        format.samplesPerSecond > 384000) {
        return std::nullopt;
    }
    std::uint16_t validBits = bits;
    if (tag == kTagExtensible) {
        // cbSize 22: valid bits, channel mask, then the sub-format GUID whose
        // first two bytes are the plain format tag.
        if (body.size() < 40) {
            return std::nullopt;
        }
        validBits = le16(body, 18);
        tag = le16(body, 24);
    }
    std::optional<SampleKind> kind;
    if (tag == kTagPcm) {
        kind = pcmKind(bits, validBits);
    } else if (tag == kTagFloat && bits == 32) {
        kind = SampleKind::float32;
    } else if (tag == kTagMsAdpcm && bits == 4) {
        format.kind = SampleKind::msAdpcm;
        return readAdpcm(body, format);
    }
    if (!kind) {
        return std::nullopt;
    }
    format.kind = *kind;
    return format;
}

}  // namespace lumivox::platform
