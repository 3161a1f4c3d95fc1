#include "sound/WaveVoice.hpp"

#include <algorithm>
#include <cstring>
#include <thread>

#include "sound/WaveFile.hpp"

namespace lumivox {

void VoiceRegistry::add(WaveVoice* voice) {
    std::lock_guard lock(mutex_);
    voices_.push_back(voice);
    ++threads_;
}

void VoiceRegistry::remove(WaveVoice* voice) {
    std::lock_guard lock(mutex_);
    voices_.remove(voice);
}

void VoiceRegistry::stopAll() {
    // A voice leaves the list (under this lock) before it is freed, so every one
    // walked here is alive.
    std::lock_guard lock(mutex_);
    for (WaveVoice* voice : voices_) {
        voice->stop();
    }
}

void VoiceRegistry::threadEnded() {
    std::lock_guard lock(mutex_);
    --threads_;
    threadsEnded_.notify_all();
}

void VoiceRegistry::waitForAll() {
    std::unique_lock lock(mutex_);
    threadsEnded_.wait(lock, [this] { return threads_ == 0; });
}

std::size_t VoiceRegistry::size() const {
    std::lock_guard lock(mutex_);
    return threads_;
}

WaveVoice::WaveVoice(std::span<const std::uint8_t> format, std::span<const std::uint8_t> data,
                     bool loop, VoiceRegistry& registry, const platform::WaveOutOpener& openDevice)
    : format_(format.begin(), format.end()),
      samples_(data.begin(), data.end()),
      openDevice_(openDevice),
      loop_(loop),
      registry_(registry),
      bufferBlock_(new std::uint8_t[kBufferCount * kBufferBytes]()) {
    for (std::size_t i = 0; i < kBufferCount; ++i) {
        headers_[i].data = bufferBlock_.get() + i * kBufferBytes;
    }
}

bool WaveVoice::start(std::span<const std::uint8_t> wav, bool loop, VoiceRegistry& registry,
                      const platform::WaveOutOpener& openDevice) {
    const std::optional<WaveChunks> chunks = findWaveChunks(wav);
    if (!chunks) {
        return false;
    }
    auto* voice = new WaveVoice(chunks->format, chunks->data, loop, registry, openDevice);
    // Registered before the thread runs, so the thread's clean-up always finds it.
    registry.add(voice);
    try {
        std::thread([voice] { voice->feed(); }).detach();
    } catch (const std::system_error&) {
        registry.remove(voice);
        delete voice;
        registry.threadEnded();
        return false;
    }
    return true;
}

void WaveVoice::stop() {
    stopEvent_.set();
    bufferFree_.release();  // wakes the feeder, which looks at the stop event first
}

// Device thread: only the free count and the semaphore.
void WaveVoice::onBufferDone(void* context, platform::WaveBuffer*) {
    auto* voice = static_cast<WaveVoice*>(context);
    {
        std::lock_guard lock(voice->lock_);
        ++voice->free_;
    }
    voice->bufferFree_.release();
}

void WaveVoice::unprepareAll() {
    for (platform::WaveBuffer& header : headers_) {
        platform::unprepareWaveBuffer(header);
    }
}

void WaveVoice::feed() {
    // Its wake-ups refill the device and carry a stop: on a busy machine a thread
    // of ordinary priority answers them late.
    platform::raiseSoundThreadPriority();
    // Opened here, not by the caller: a sound server that is slow to answer
    // holds this thread, never the window's.
    device_ = openDevice_(format_, &WaveVoice::onBufferDone, this);
    for (;;) {
        const bool woken = bufferFree_.try_acquire_for(kStallTimeout);
        if (!woken || stopEvent_.isSet()) {
            if (device_) {
                device_->pause();
                device_->reset();  // every queued buffer comes back
            }
            unprepareAll();
            break;
        }
        int free;
        {
            std::lock_guard lock(lock_);
            free = free_;
        }
        if (free < 1) {
            continue;
        }
        platform::WaveBuffer& header = headers_[next_];
        if (header.prepared) {
            platform::unprepareWaveBuffer(header);
        }
        const std::size_t chunk = std::min(kBufferBytes, samples_.size() - position_);
        if (chunk >= 1) {
            std::memcpy(header.data, samples_.data() + position_, chunk);
            header.length = static_cast<std::uint32_t>(chunk);
            position_ += chunk;
            platform::prepareWaveBuffer(header);
            if (device_) {
                device_->write(header);
            }
            {
                std::lock_guard lock(lock_);
                --free_;
            }
            next_ = (next_ + 1) % kBufferCount;
            continue;
        }
        if (free < static_cast<int>(kBufferCount)) {
            continue;  // the last buffers are still sounding
        }
        if (loop_) {
            {
                std::lock_guard lock(lock_);
                position_ = 0;
                next_ = 0;
                free_ = static_cast<int>(kBufferCount);
            }
            bufferFree_.release(static_cast<std::ptrdiff_t>(kBufferCount));
            continue;
        }
        unprepareAll();
        break;
    }
    VoiceRegistry& registry = registry_;
    registry.remove(this);
    if (device_) {
        device_->close();
    }
    delete this;
    registry.threadEnded();
}

}  // namespace lumivox
