// The 50 embedded effects as the program carries them: the exact layout and
// format of each table row, distinct recordings, one loudness, no clipping.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "assets/Assets.hpp"
#include "platform/linux/MsAdpcm.hpp"
#include "platform/linux/WaveFormat.hpp"
#include "sound/BuiltinSoundTable.hpp"
#include "sound/WaveFile.hpp"
#include "tests/support/TestSupport.hpp"
#include "tools/effects/Loudness.hpp"

namespace lumivox {
namespace {

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::string tag(std::span<const std::uint8_t> b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

// Samples in [-1, 1], interleaved, as the sound server would get them.
std::vector<float> decode(const BuiltinSoundRow& row, const WaveChunks& chunks) {
    std::vector<float> out;
    if (row.encoding == EffectEncoding::msAdpcm) {
        const auto format = platform::readWaveFormat(chunks.format);
        std::vector<std::uint8_t> pcm;
        platform::MsAdpcmDecoder decoder(*format);
        decoder.decode(chunks.data, pcm);
        decoder.finish(pcm);
        for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
            out.push_back(static_cast<std::int16_t>(le16(pcm, i)) / 32768.0f);
        }
    } else if (row.bits == 8) {
        for (std::uint8_t b : chunks.data) {
            out.push_back((b - 128) / 128.0f);
        }
    } else {
        for (std::size_t i = 0; i + 1 < chunks.data.size(); i += 2) {
            out.push_back(static_cast<std::int16_t>(le16(chunks.data, i)) / 32768.0f);
        }
    }
    return out;
}

TEST(BuiltinSounds, EachFileHasItsRowsExactFormatAndLayout) {
    for (const BuiltinSoundRow& row : kBuiltinSounds) {
        SCOPED_TRACE("button " + std::to_string(row.button));
        const auto file = assets::find(builtinSoundAssetName(row.button));
        ASSERT_GE(file.size(), 44u);
        ASSERT_EQ(tag(file, 0), "RIFF");
        ASSERT_EQ(tag(file, 8), "WAVE");
        ASSERT_EQ(tag(file, 12), "fmt ");
        const std::uint32_t formatSize = readLe32(file.data() + 16);
        std::size_t next = 20 + formatSize;
        const bool adpcm = row.encoding == EffectEncoding::msAdpcm;
        if (adpcm) {
            // fmt , fact (the sample count), data.
            ASSERT_EQ(tag(file, next), "fact");
            next += 8 + readLe32(file.data() + next + 4);
        }
        ASSERT_EQ(tag(file, next), "data") << "the data chunk follows directly";
        EXPECT_EQ(readLe32(file.data() + next + 4), row.dataBytes);
        EXPECT_GE(file.size(), next + 8 + row.dataBytes);
        EXPECT_EQ(readLe32(file.data() + 4) + 8, file.size()) << "RIFF size";

        const auto format = file.subspan(20, formatSize);
        EXPECT_EQ(le16(format, 0), adpcm ? 2 : 1) << "format tag";
        EXPECT_EQ(le16(format, 2), row.channels);
        EXPECT_EQ(readLe32(format.data() + 4), static_cast<std::uint32_t>(row.rate));
        EXPECT_EQ(le16(format, 14), row.bits);
        if (adpcm) {
            EXPECT_EQ(le16(format, 12), 512) << "block bytes";
            EXPECT_EQ(le16(format, 18), 1012) << "samples per block";
        } else {
            EXPECT_EQ(le16(format, 12), row.channels * row.bits / 8);
            EXPECT_EQ(readLe32(format.data() + 8),
                      static_cast<std::uint32_t>(row.rate * row.channels * row.bits / 8));
        }
        // The walk the player uses finds the same chunks.
        const auto chunks = findWaveChunks(file);
        ASSERT_TRUE(chunks);
        EXPECT_EQ(chunks->data.size(), row.dataBytes);
    }
}

TEST(BuiltinSounds, EveryEffectIsADistinctRecordingAtOneLoudnessWithoutClipping) {
    std::set<std::vector<std::uint8_t>> seen;
    for (const BuiltinSoundRow& row : kBuiltinSounds) {
        SCOPED_TRACE("button " + std::to_string(row.button) + " " + std::string(row.caption));
        const auto chunks = findWaveChunks(assets::find(builtinSoundAssetName(row.button)));
        ASSERT_TRUE(chunks);
        // Distinct: also the pairs of equal length (10 and 24, 43 and 48).
        EXPECT_TRUE(seen.insert({chunks->data.begin(), chunks->data.end()}).second);

        const std::vector<float> samples = decode(row, *chunks);
        const double loudness = effects::integratedLoudness(samples, row.channels, row.rate);
        EXPECT_NEAR(loudness, effects::kTargetLufs, 1.0);
        float peak = 0;
        for (float x : samples) {
            peak = std::max(peak, std::fabs(x));
        }
        // Below full scale; the ADPCM sound may stray a little above the ceiling.
        EXPECT_LT(peak, row.encoding == EffectEncoding::msAdpcm ? 0.99f : 0.9f);
        // Sounding through its length: no effect is a short blip in silence.
        std::size_t audible = 0;
        for (float x : samples) {
            audible += std::fabs(x) > 0.003f;
        }
        EXPECT_GT(audible, samples.size() / 6);
    }
}

// The ADPCM effect, made by our encoder, reads the same in sox (a well-kept
// decoder) as in the decoder the wave output uses.
TEST(BuiltinSounds, AdpcmEffectDecodesAlikeInSox) {
    const BuiltinSoundRow& row = kBuiltinSounds[1];
    ASSERT_EQ(row.encoding, EffectEncoding::msAdpcm);
    const auto file = assets::find(builtinSoundAssetName(row.button));
    testing::TempDir dir;
    const auto wav = dir.path() / "02.wav", raw = dir.path() / "02.raw";
    std::ofstream(wav, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    ASSERT_EQ(testing::runCommand("sox '" + wav.string() + "' -t raw -e signed -b 16 '" +
                                  raw.string() + "' 2>&1")
                  .status,
              0);
    std::ifstream in(raw, std::ios::binary);
    const std::string soxBytes(std::istreambuf_iterator<char>(in), {});
    const auto format = platform::readWaveFormat(findWaveChunks(file)->format);
    std::vector<std::uint8_t> ours;
    platform::MsAdpcmDecoder decoder(*format);
    decoder.decode(findWaveChunks(file)->data, ours);
    decoder.finish(ours);
    ASSERT_EQ(ours.size(), 17978u * 2) << "samples per the fact chunk";
    EXPECT_EQ(std::string(ours.begin(), ours.end()), soxBytes);
}

}  // namespace
}  // namespace lumivox
