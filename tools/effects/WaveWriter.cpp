#include "tools/effects/WaveWriter.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace effects {
namespace {

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};
constexpr int kCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                     {240, 0}, {460, -208}, {392, -232}};

void put16(std::vector<std::uint8_t>& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, static_cast<int>(value & 0xFFFF));
    put16(out, static_cast<int>(value >> 16));
}
void putTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(tag[i]));
    }
}

std::int16_t toPcm16(float x) {
    return static_cast<std::int16_t>(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
}

// Codes one block's nibbles from its state; gives the squared error and, when
// `out` is given, appends the nibble bytes.
double codeBlock(const std::int16_t* samples, std::size_t count, int predictor, int delta,
                 std::vector<std::uint8_t>* out) {
    const int c1 = kCoefficients[predictor][0], c2 = kCoefficients[predictor][1];
    int s2 = samples[0], s1 = samples[1];
    double error = 0;
    int pending = -1;
    for (std::size_t i = 2; i < count; ++i) {
        const int predicted = (s1 * c1 + s2 * c2) >> 8;
        const int wanted = samples[i] - predicted;
        int nibble = static_cast<int>(std::lround(static_cast<double>(wanted) / delta));
        nibble = std::clamp(nibble, -8, 7);
        const int decoded = std::clamp(predicted + nibble * delta, -32768, 32767);
        error += static_cast<double>(decoded - samples[i]) * (decoded - samples[i]);
        s2 = s1;
        s1 = decoded;
        const int code = nibble & 0x0F;
        delta = std::max(16, (kAdaptation[code] * delta) / 256);
        if (out != nullptr) {
            if (pending < 0) {
                pending = code;
            } else {
                out->push_back(static_cast<std::uint8_t>((pending << 4) | code));
                pending = -1;
            }
        }
    }
    if (out != nullptr && pending >= 0) {
        out->push_back(static_cast<std::uint8_t>(pending << 4));
    }
    return error;
}

}  // namespace

std::size_t msAdpcmSampleCount(std::size_t dataBytes, int blockBytes) {
    const auto block = static_cast<std::size_t>(blockBytes);
    const std::size_t perBlock = (block - 7) * 2 + 2;
    const std::size_t whole = dataBytes / block, rest = dataBytes % block;
    return whole * perBlock + (rest >= 7 ? (rest - 7) * 2 + 2 : 0);
}

std::vector<std::uint8_t> encodeMsAdpcm(const std::vector<std::int16_t>& samples, int blockBytes) {
    const std::size_t perBlock = (static_cast<std::size_t>(blockBytes) - 7) * 2 + 2;
    std::vector<std::uint8_t> out;
    for (std::size_t at = 0; at < samples.size(); at += perBlock) {
        const std::size_t count = std::min(perBlock, samples.size() - at);
        if (count < 2) {
            throw std::runtime_error("an ADPCM block needs two samples");
        }
        const std::int16_t* block = samples.data() + at;
        int bestPredictor = 0, bestDelta = 16;
        double bestError = std::numeric_limits<double>::infinity();
        for (int predictor = 0; predictor < 7; ++predictor) {
            for (int delta = 16; delta <= 4096; delta *= 2) {
                const double error = codeBlock(block, count, predictor, delta, nullptr);
                if (error < bestError) {
                    bestError = error, bestPredictor = predictor, bestDelta = delta;
                }
            }
        }
        out.push_back(static_cast<std::uint8_t>(bestPredictor));
        put16(out, bestDelta);
        put16(out, block[1]);  // sample 1: the newer of the two header samples
        put16(out, block[0]);  // sample 2: played first
        codeBlock(block, count, bestPredictor, bestDelta, &out);
    }
    return out;
}

std::vector<std::uint8_t> encodeWave(const lumivox::BuiltinSoundRow& row,
                                     const std::vector<float>& interleaved) {
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> format;
    std::vector<std::uint8_t> fact;
    if (row.encoding == lumivox::EffectEncoding::msAdpcm) {
        std::vector<std::int16_t> pcm;
        for (float x : interleaved) {
            pcm.push_back(toPcm16(x));
        }
        data = encodeMsAdpcm(pcm, lumivox::kAdpcmBlockBytes);
        put16(format, 2);
        put16(format, row.channels);
        put32(format, static_cast<std::uint32_t>(row.rate));
        put32(format, static_cast<std::uint32_t>(row.rate) * lumivox::kAdpcmBlockBytes /
                          lumivox::kAdpcmSamplesPerBlock);
        put16(format, lumivox::kAdpcmBlockBytes);
        put16(format, 4);
        put16(format, 32);  // extra bytes: samples per block, coefficient count, 7 pairs
        put16(format, lumivox::kAdpcmSamplesPerBlock);
        put16(format, 7);
        for (const auto& pair : kCoefficients) {
            put16(format, pair[0]);
            put16(format, pair[1]);
        }
        put32(fact, static_cast<std::uint32_t>(pcm.size()));
    } else {
        for (float x : interleaved) {
            if (row.bits == 8) {
                data.push_back(static_cast<std::uint8_t>(
                    std::lround(128 + std::clamp(x, -1.0f, 1.0f) * 127.0f)));
            } else {
                put16(data, toPcm16(x));
            }
        }
        const int blockAlign = row.channels * row.bits / 8;
        put16(format, 1);
        put16(format, row.channels);
        put32(format, static_cast<std::uint32_t>(row.rate));
        put32(format, static_cast<std::uint32_t>(row.rate * blockAlign));
        put16(format, blockAlign);
        put16(format, row.bits);
    }
    if (data.size() != row.dataBytes) {
        throw std::runtime_error("effect " + std::to_string(row.button) + ": " +
                                 std::to_string(data.size()) + " data bytes, not " +
                                 std::to_string(row.dataBytes));
    }
    const bool pad = data.size() % 2 != 0;
    std::vector<std::uint8_t> file;
    putTag(file, "RIFF");
    put32(file,
          static_cast<std::uint32_t>(4 + 8 + format.size() + (fact.empty() ? 0 : 8 + fact.size()) +
                                     8 + data.size() + (pad ? 1 : 0)));
    putTag(file, "WAVE");
    putTag(file, "fmt ");
    put32(file, static_cast<std::uint32_t>(format.size()));
    for (std::uint8_t byte : format) {
        file.push_back(byte);
    }
    if (!fact.empty()) {
        putTag(file, "fact");
        put32(file, static_cast<std::uint32_t>(fact.size()));
        for (std::uint8_t byte : fact) {
            file.push_back(byte);
        }
    }
    putTag(file, "data");
    put32(file, static_cast<std::uint32_t>(data.size()));
    file.insert(file.end(), data.begin(), data.end());
    if (pad) {
        file.push_back(0);  // RIFF chunks keep even sizes
    }
    return file;
}

}  // namespace effects
