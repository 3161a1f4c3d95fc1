#pragma once
// The decoding pipeline of one song file: file reader, MPEG-audio decoder and
// wave output, run by one thread. It reports the end of the file (once the
// last buffer has played) through the callback given at open.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/MpegDecoder.hpp"
#include "platform/WaveOut.hpp"
#include "sound/SongFileReader.hpp"

namespace lumivox {

class SongPipeline {
public:
    static constexpr std::size_t kBufferCount = 8;
    static constexpr std::size_t kBufferBytes = 16384;
    // A device that hands back no buffer for this long while the song is not
    // paused is gone (a restarted sound server): the track then ends.
    static constexpr std::chrono::milliseconds kStallLimit{5000};

    // Opens the file; nothing when it cannot be opened. `onEnded` runs on the
    // pipeline's thread after the last buffer played (not after `stop`).
    static std::unique_ptr<SongPipeline> open(const Text& path, std::function<void()> onEnded);
    // Stops at once and ends the thread.
    ~SongPipeline();

    // Starts playing, skipping the first `startMs` milliseconds of sound.
    void start(std::uint32_t startMs);
    bool started() const { return thread_.joinable(); }
    void pause();
    void resume();
    // True when no device could be opened for the file's sound: it stays silent.
    bool failed() const { return failed_.load(); }
    std::uint64_t streamLength() const { return reader_->bounds().length; }

private:
    SongPipeline(std::unique_ptr<SongFileReader> reader, std::function<void()> onEnded);
    static void onBufferDone(void* context, platform::WaveBuffer* buffer);
    void run();
    bool openDevice();
    // Block until a buffer is free / all are (true), or the pipeline is stopped
    // or its device stalled (false).
    bool waitForFreeBuffer();
    bool waitUntilAllDone();
    bool waitForBuffers(std::size_t count);
    bool queueBytes(std::span<const std::uint8_t> pcm);
    bool flushBuffer();
    void closeDevice();

    std::unique_ptr<SongFileReader> reader_;
    MpegDecoder decoder_;
    std::function<void()> onEnded_;
    std::uint64_t skipBytes_ = 0;
    std::uint32_t startMs_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> stalled_{false};
    // Set before the device exists too: a device opened later starts paused.
    std::atomic<bool> paused_{false};
    // Buffer bookkeeping, shared with the device's callback.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t free_ = kBufferCount;
    std::mutex deviceMutex_;  // guards device_ against pause and resume from other threads
    std::unique_ptr<platform::WaveOut> device_;
    std::array<platform::WaveBuffer, kBufferCount> headers_{};
    std::vector<std::uint8_t> storage_;
    std::size_t next_ = 0;
    long rate_ = 0;
    int channels_ = 0;
};

}  // namespace lumivox
