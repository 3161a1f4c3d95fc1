#pragma once
// One sounding WAV sound: its own device handle, 20 buffers and a feeder thread
// that queues the samples and frees the voice when the sound ends, is stopped,
// or the device has completed no buffer for 8,888 ms.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <semaphore>
#include <span>

#include "base/Sync.hpp"
#include "base/Types.hpp"
#include "platform/WaveOut.hpp"

namespace lumivox {

class WaveVoice;

// The live voices of one service, under one lock. A voice enters when it starts
// and leaves when its thread cleans up; `waitForAll` also waits for the threads'
// last steps after they left.
class VoiceRegistry {
public:
    void add(WaveVoice* voice);
    void remove(WaveVoice* voice);
    // Sets every voice's stop event; waits for none of them.
    void stopAll();
    void threadEnded();
    void waitForAll();
    std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable threadsEnded_;
    std::list<WaveVoice*> voices_;
    std::size_t threads_ = 0;  // feeder threads not yet ended
};

class WaveVoice {
public:
    static constexpr std::size_t kBufferCount = 20;
    static constexpr std::size_t kBufferBytes = 15360;
    static constexpr std::chrono::milliseconds kStallTimeout{8888};

    // Starts a voice for WAV data; false when the data is refused (too short,
    // not RIFF/WAVE, no `fmt ` or no non-empty `data`). A device that cannot be
    // opened is not reported: the voice then ends through the stall time-out.
    static bool start(std::span<const std::uint8_t> wav, bool loop, VoiceRegistry& registry,
                      const platform::WaveOutOpener& openDevice);

    // From any thread: asks the feeder to stop; it does so on its own thread.
    void stop();

private:
    WaveVoice(std::span<const std::uint8_t> format, std::span<const std::uint8_t> data, bool loop,
              VoiceRegistry& registry, const platform::WaveOutOpener& openDevice);
    static void onBufferDone(void* context, platform::WaveBuffer* buffer);
    void feed();
    void unprepareAll();

    ByteData format_;  // the `fmt ` body, kept for the open on the feeder thread
    ByteData samples_;
    platform::WaveOutOpener openDevice_;
    const bool loop_;
    VoiceRegistry& registry_;
    std::size_t position_ = 0;
    std::unique_ptr<std::uint8_t[]> bufferBlock_;  // 20 x 15,360 bytes, zero-filled
    std::array<platform::WaveBuffer, kBufferCount> headers_{};
    std::size_t next_ = 0;
    std::mutex lock_;  // guards free_
    int free_ = static_cast<int>(kBufferCount);
    std::counting_semaphore<> bufferFree_{static_cast<std::ptrdiff_t>(kBufferCount)};
    Event stopEvent_{true};
    std::unique_ptr<platform::WaveOut> device_;
};

}  // namespace lumivox
