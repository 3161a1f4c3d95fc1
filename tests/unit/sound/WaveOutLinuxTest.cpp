// The Linux wave-output layer's own parts: the formats it takes, the Microsoft
// ADPCM decoder (against sox decoding the same file), and an open without a
// sound server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>

#include "platform/WaveOut.hpp"
#include "platform/linux/MsAdpcm.hpp"
#include "platform/linux/WaveFormat.hpp"
#include "sound/SoundService.hpp"
#include "sound/WaveFile.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox {
namespace {

using platform::SampleKind;

ByteData readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ByteData formatBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                    std::uint16_t bits, std::size_t size = 16) {
    ByteData body(size, 0);
    auto put = [&body](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            body[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    put(0, tag, 2);
    put(2, channels, 2);
    put(4, rate, 4);
    put(12, channels * bits / 8, 2);
    put(14, bits, 2);
    return body;
}

TEST(WaveOutLinux, TakesPcmFloatAndAdpcmFormatsOnly) {
    ByteData extensibleFloat = formatBody(0xFFFE, 2, 48000, 32, 40);
    extensibleFloat[16] = 22;
    extensibleFloat[18] = 32;
    extensibleFloat[24] = 3;  // sub-format: IEEE float
    ByteData adpcm = formatBody(2, 1, 22050, 4, 50);
    adpcm[12] = 0;  // block align 512
    adpcm[13] = 2;
    struct Case {
        const char* name;
        ByteData body;
        std::optional<SampleKind> kind;
    };
    const ByteData pcm8 = formatBody(1, 1, 8000, 8);
    const std::vector<Case> cases = {
        {"8-bit PCM", formatBody(1, 1, 11025, 8), SampleKind::unsigned8},
        {"16-bit PCM", formatBody(1, 2, 44100, 16), SampleKind::signed16},
        {"24-bit PCM", formatBody(1, 2, 96000, 24), SampleKind::signed24},
        {"32-bit PCM", formatBody(1, 6, 48000, 32), SampleKind::signed32},
        {"IEEE float", formatBody(3, 2, 44100, 32), SampleKind::float32},
        {"extensible float", extensibleFloat, SampleKind::float32},
        {"Microsoft ADPCM", adpcm, SampleKind::msAdpcm},
        {"12-bit PCM", formatBody(1, 1, 8000, 12), std::nullopt},
        {"64-bit float", formatBody(3, 1, 8000, 64), std::nullopt},
        {"IMA ADPCM", formatBody(0x11, 1, 8000, 4), std::nullopt},
        {"MPEG layer 3", formatBody(0x55, 2, 44100, 0), std::nullopt},
        {"no channels", formatBody(1, 0, 44100, 16), std::nullopt},
        {"rate 0", formatBody(1, 1, 0, 16), std::nullopt},
        {"13 bytes", ByteData(pcm8.begin(), pcm8.begin() + 13), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto format = platform::readWaveFormat(c.body);
        ASSERT_EQ(format.has_value(), c.kind.has_value());
        if (format) {
            EXPECT_EQ(format->kind, *c.kind);
        }
    }
}

TEST(WaveOutLinux, AdpcmDecodesAsSoxDoesAcrossBufferSplits) {
    testing::TempDir dir;
    for (const char* channels : {"1", "2"}) {
        SCOPED_TRACE(channels);
        const auto adpcm = dir / "adpcm.wav";
        const auto raw = dir / "decoded.raw";
        ASSERT_EQ(testing::runCommand(std::string("sox -n -r 22050 -c ") + channels +
                                      " -e ms-adpcm '" + adpcm.string() +
                                      "' synth 0.3 sine 440 sine 1234 2>&1")
                      .status,
                  0);
        ASSERT_EQ(testing::runCommand("sox '" + adpcm.string() + "' -t raw -e signed -b 16 '" +
                                      raw.string() + "' 2>&1")
                      .status,
                  0);
        const ByteData file = readFile(adpcm);
        const ByteData expected = readFile(raw);
        const auto chunks = findWaveChunks(file);
        ASSERT_TRUE(chunks);
        const auto format = platform::readWaveFormat(chunks->format);
        ASSERT_TRUE(format);
        ASSERT_EQ(format->kind, SampleKind::msAdpcm);
        // Written in pieces that split blocks, as a voice's buffers may.
        platform::MsAdpcmDecoder decoder(*format);
        ByteData decoded;
        for (std::size_t at = 0; at < chunks->data.size(); at += 1000) {
            decoder.decode(chunks->data.subspan(at, std::min<std::size_t>(1000, chunks->data.size() - at)),
                           decoded);
        }
        decoder.finish(decoded);
        ASSERT_EQ(decoded.size(), expected.size());
        for (std::size_t i = 0; i < decoded.size(); i += 2) {
            ASSERT_EQ(decoded[i] | decoded[i + 1] << 8, expected[i] | expected[i + 1] << 8)
                << "sample " << i / 2;
        }
    }
}

// No server: the open is refused rather than waiting for one (a hang is
// reported after a bound far above any open), and a voice on it ends through
// its time-out without a crash (checked here only up to the refused open).
TEST(WaveOutLinux, OpenFailsWithoutASoundServer) {
    testing::TempDir dir;
    setenv("PULSE_SERVER", ("unix:" + (dir / "no-server").string()).c_str(), 1);
    const auto format = formatBody(1, 2, 44100, 16);
    auto opening = std::async(std::launch::async, [&] {
        return platform::openWaveOut(format, [](void*, platform::WaveBuffer*) {}, nullptr);
    });
    ASSERT_EQ(opening.wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "the open waits for a server that is not there";
    EXPECT_FALSE(opening.get());
}

}  // namespace
}  // namespace lumivox
