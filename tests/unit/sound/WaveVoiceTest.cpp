// The voice life cycle against a device that records what it is given.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "sound/SoundService.hpp"
#include "sound/WaveFile.hpp"
#include "tests/support/TestSupport.hpp"
#include "tests/unit/sound/RecordingWaveOut.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;
using testing::RecordingDevices;
using testing::waitUntil;

constexpr std::size_t kBuffer = WaveVoice::kBufferBytes;

// A WAV file with a 16-byte PCM format (first byte replaced by `formatTag`) and
// `samples` as its data; sample bytes count up so that every buffer is distinct.
ByteData makeWave(std::size_t dataBytes, std::uint8_t formatTag = 1) {
    ByteData file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    const auto format = pcm16FormatBody(22050, 1);
    const char* header = "fmt \x10\0\0\0";
    file.insert(file.end(), header, header + 8);
    file.insert(file.end(), format.begin(), format.end());
    file[20] = formatTag;
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    for (int i = 0; i < 4; ++i) {
        file.push_back(static_cast<std::uint8_t>(dataBytes >> (8 * i)));
    }
    for (std::size_t i = 0; i < dataBytes; ++i) {
        file.push_back(static_cast<std::uint8_t>(i * 7 + i / 251));
    }
    const auto riff = static_cast<std::uint32_t>(file.size() - 8);
    for (int i = 0; i < 4; ++i) {
        file[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    }
    return file;
}

std::string dataSlice(const ByteData& file, std::size_t from, std::size_t length) {
    return {reinterpret_cast<const char*>(file.data()) + 44 + from, length};
}

TEST(WaveVoice, QueuesTwentyBuffersAndOneMoreForEachCompleted) {
    RecordingDevices devices;
    SoundService service(devices.opener());
    const ByteData file = makeWave(25 * kBuffer + 100);
    ASSERT_TRUE(service.playSound(file));
    ASSERT_TRUE(waitUntil([&] { return devices.count() == 1; }, 2s));
    auto log = devices.log(0);
    EXPECT_EQ(log->format, std::string(reinterpret_cast<const char*>(file.data()) + 20, 16));
    ASSERT_TRUE(waitUntil([&] { return log->writtenCount() == 20; }, 2s));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(log->writtenCount(), 20u) << "all 20 free buffers are queued, and no more";

    // Each completed buffer frees one for the next 15,360 bytes, then the 100 left.
    for (std::size_t written = 21; written <= 26; ++written) {
        ASSERT_TRUE(log->completeOne());
        ASSERT_TRUE(waitUntil([&] { return log->writtenCount() == written; }, 2s));
    }
    {
        std::lock_guard lock(log->mutex);
        for (std::size_t i = 0; i < 25; ++i) {
            ASSERT_EQ(log->written[i], dataSlice(file, i * kBuffer, kBuffer)) << i;
        }
        EXPECT_EQ(log->written[25], dataSlice(file, 25 * kBuffer, 100));
    }
    // The voice ends once every buffer has come back, without pause or reset: while
    // one is still out, the device stays open (the last completion may close it at once).
    for (;;) {
        {
            std::lock_guard lock(log->mutex);
            if (log->queued.empty()) {
                break;
            }
            EXPECT_FALSE(log->closed) << log->queued.size() << " buffers still out";
        }
        ASSERT_TRUE(log->completeOne());
    }
    ASSERT_TRUE(waitUntil([&] { return service.voiceCount() == 0; }, 2s));
    EXPECT_TRUE(log->isClosed());
    EXPECT_EQ(log->writtenCount(), 26u);
    EXPECT_EQ(log->pauses, 0);
    EXPECT_EQ(log->resets, 0);
}

TEST(WaveVoice, LoopingVoiceStartsOverWhenAllBuffersAreFreeUntilStopped) {
    RecordingDevices devices;
    SoundService service(devices.opener());
    const ByteData file = makeWave(2 * kBuffer + 10);
    ASSERT_TRUE(service.playSound(file, true));
    ASSERT_TRUE(waitUntil([&] { return devices.count() == 1; }, 2s));
    auto log = devices.log(0);
    ASSERT_TRUE(waitUntil([&] { return log->writtenCount() == 3; }, 2s));
    for (int pass = 1; pass <= 3; ++pass) {
        // Not before every buffer of the pass is back.
        ASSERT_TRUE(log->completeOne());
        ASSERT_TRUE(log->completeOne());
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(log->writtenCount(), 3u * pass);
        ASSERT_TRUE(log->completeOne());
        ASSERT_TRUE(waitUntil([&] { return log->writtenCount() == 3u * (pass + 1); }, 2s));
    }
    {
        std::lock_guard lock(log->mutex);
        for (std::size_t i = 0; i < log->written.size(); ++i) {
            const std::size_t part = i % 3;
            ASSERT_EQ(log->written[i], dataSlice(file, part * kBuffer, part == 2 ? 10 : kBuffer));
        }
    }
    service.stopAllSounds();
    ASSERT_TRUE(waitUntil([&] { return service.voiceCount() == 0; }, 2s));
    EXPECT_EQ(log->pauses, 1);
    EXPECT_EQ(log->resets, 1);
    EXPECT_TRUE(log->isClosed());
    EXPECT_TRUE(log->queued.empty()) << "reset hands back every queued buffer";
}

TEST(WaveVoice, StopAllSoundsEndsEveryVoiceWithoutWaitingForIt) {
    RecordingDevices devices;
    SoundService service(devices.opener());
    const ByteData file = makeWave(40 * kBuffer);
    constexpr std::size_t kVoices = 50;
    for (std::size_t i = 0; i < kVoices; ++i) {
        ASSERT_TRUE(service.playSound(file));
    }
    ASSERT_TRUE(waitUntil(
        [&] {
            if (devices.count() < kVoices) {
                return false;
            }
            for (std::size_t i = 0; i < kVoices; ++i) {
                if (devices.log(i)->writtenCount() < 20) {
                    return false;
                }
            }
            return true;
        },
        5s));
    EXPECT_EQ(service.voiceCount(), kVoices);
    // Every device's reset is held: the call must return while all fifty voices
    // are still ending (one that waited for them would wait for the release).
    devices.resets().hold();
    auto stopping = std::async(std::launch::async, [&] { service.stopAllSounds(); });
    const bool returned = stopping.wait_for(30s) == std::future_status::ready;
    EXPECT_TRUE(returned) << "stopAllSounds waited for the voices";
    EXPECT_EQ(service.voiceCount(), kVoices) << "the voices end only after their resets";
    devices.resets().release();
    stopping.wait();
    ASSERT_TRUE(waitUntil([&] { return service.voiceCount() == 0; }, 10s));
    EXPECT_EQ(devices.resets().arrived(), kVoices);
    for (std::size_t i = 0; i < kVoices; ++i) {
        auto log = devices.log(i);
        EXPECT_EQ(log->writtenCount(), 20u);
        EXPECT_EQ(log->resets, 1);
        EXPECT_TRUE(log->isClosed());
    }
}

// Both ends of the 8,888 ms wait: a device that never opened, and one that
// stopped completing buffers.
TEST(WaveVoice, VoiceEndsAfterTheStallTimeOut) {
    RecordingDevices devices;
    SoundService service(devices.opener());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(service.playSound(makeWave(100, 0xEE))) << "a failed open is not reported";
    ASSERT_TRUE(service.playSound(makeWave(30 * kBuffer)));
    // Time limits, not measurements: on a busy machine (Wine especially) the
    // feeders may take seconds to start; the stall is timed from `start`.
    ASSERT_TRUE(waitUntil([&] { return devices.count() == 2; }, 6s));
    // The two feeders open their devices in whichever order they get to run.
    auto stalled =
        devices.log(static_cast<unsigned char>(devices.log(0)->format[0]) == 0xEE ? 1 : 0);
    ASSERT_TRUE(waitUntil([&] { return stalled->writtenCount() == 20; }, 6s));
    std::this_thread::sleep_for(8500ms - (std::chrono::steady_clock::now() - start));
    EXPECT_EQ(service.voiceCount(), 2u) << "still waiting before 8,888 ms";
    ASSERT_TRUE(waitUntil([&] { return service.voiceCount() == 0; }, 3s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, WaveVoice::kStallTimeout);
    EXPECT_EQ(stalled->resets, 1);
    EXPECT_TRUE(stalled->isClosed());
}

}  // namespace
}  // namespace lumivox
