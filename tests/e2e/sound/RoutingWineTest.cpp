// Who hears a sound in the Windows build, through winmm under Wine into the
// private server of scripts/wine-with-pulse (one output device there): the
// effects' and the songs' volumes, and a sound nobody is to hear stays silent
// and still ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/SoundRouting.hpp"
#include "sound/SoundService.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The peak of what the recording holds after `from` bytes.
int peakAfter(const fs::path& recording, std::uintmax_t from) {
    std::ifstream in(recording, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from & ~std::uintmax_t{1}));
    int peak = 0;
    std::int16_t sample;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    return peak;
}

std::unique_ptr<platform::WaveOut> routedEffect(std::span<const std::uint8_t> format,
                                                platform::WaveOutDoneCallback callback,
                                                void* context) {
    return platform::openRoutedWaveOut(format, callback, context, platform::SoundKind::effect);
}

TEST(WineRouting, EffectsAtTheirVolumeAndSilentWhenNobodyHears) {
    const char* sounds = std::getenv("LUMIVOX_SOUND_DIR");
    const char* recording = std::getenv("LUMIVOX_RECORDING");
    ASSERT_TRUE(sounds != nullptr && recording != nullptr) << "run through scripts/wine-with-pulse";
    std::ifstream toneFile(fs::path(sounds) / "tone440.wav", std::ios::binary);
    const ByteData tone((std::istreambuf_iterator<char>(toneFile)), {});
    struct Case {
        const char* name;
        bool monitor;
        int volume;
        int lowest, highest;  // the tone's peak, at half of full scale, is 16,384
    };
    for (const Case c : {Case{"full", true, 100, 14000, 17500}, Case{"half", true, 50, 7000, 8800},
                         Case{"nobody hears", false, 100, 0, 800}}) {
        SCOPED_TRACE(c.name);
        platform::SoundRoute route;
        route.monitor = c.monitor;
        route.effectsVolume = c.volume;
        platform::setSoundRoute(route);
        const auto from = fs::file_size(recording);
        const auto started = std::chrono::steady_clock::now();
        {
            SoundService service(routedEffect);
            ASSERT_TRUE(service.playSound(tone));
            service.waitForVoices();
        }
        // A one-second sound ends in about its time, heard or not.
        EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
        std::this_thread::sleep_for(1500ms);  // the recorder catches up
        const int peak = peakAfter(recording, from);
        EXPECT_GE(peak, c.lowest);
        EXPECT_LE(peak, c.highest);
    }
    platform::setSoundRoute({});
}

}  // namespace
}  // namespace lumivox
