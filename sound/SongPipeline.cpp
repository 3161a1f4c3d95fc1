#include "sound/SongPipeline.hpp"

#include <algorithm>
#include <cstring>

#include "platform/SoundRouting.hpp"
#include "sound/WaveFile.hpp"

namespace lumivox {
std::unique_ptr<SongPipeline> SongPipeline::open(const Text& path,
                                                 std::function<void()> onEnded) {
    std::unique_ptr<SongFileReader> reader = SongFileReader::open(path);
    if (!reader) {
        return nullptr;
    }
    std::unique_ptr<SongPipeline> pipeline(new SongPipeline(std::move(reader), std::move(onEnded)));
    if (!pipeline->decoder_.ok()) {
        return nullptr;
    }
    return pipeline;
}

SongPipeline::SongPipeline(std::unique_ptr<SongFileReader> reader, std::function<void()> onEnded)
    : reader_(std::move(reader)), onEnded_(std::move(onEnded)), storage_(kBufferCount * kBufferBytes) {
    for (std::size_t i = 0; i < kBufferCount; ++i) {
        headers_[i].data = storage_.data() + i * kBufferBytes;
    }
}

SongPipeline::~SongPipeline() {
    stop_ = true;
    {
        std::lock_guard lock(mutex_);
        changed_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SongPipeline::start(std::uint32_t startMs) {
    startMs_ = startMs;
    thread_ = std::thread([this] { run(); });
}

// The device lock, not the bookkeeping one: the device calls back into the
// bookkeeping while holding its own lock.
void SongPipeline::pause() {
    {
        std::lock_guard lock(mutex_);
        paused_ = true;
        changed_.notify_all();
    }
    std::lock_guard lock(deviceMutex_);
    if (device_) {
        device_->pause();
    }
}

void SongPipeline::resume() {
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
        changed_.notify_all();
    }
    std::lock_guard lock(deviceMutex_);
    if (device_) {
        device_->restart();
    }
}

// Device thread.
void SongPipeline::onBufferDone(void* context, platform::WaveBuffer*) {
    auto* pipeline = static_cast<SongPipeline*>(context);
    std::lock_guard lock(pipeline->mutex_);
    ++pipeline->free_;
    pipeline->changed_.notify_all();
}

bool SongPipeline::openDevice() {
    const auto format = pcm16FormatBody(static_cast<std::uint32_t>(decoder_.rate()),
                                        static_cast<std::uint16_t>(decoder_.channels()));
    auto device = platform::openRoutedWaveOut(format, &SongPipeline::onBufferDone, this,
                                              platform::SoundKind::song);
    std::lock_guard lock(deviceMutex_);
    device_ = std::move(device);
    if (device_ && paused_) {
        device_->pause();  // paused before the device existed
    }
    rate_ = decoder_.rate();
    channels_ = decoder_.channels();
    skipBytes_ = static_cast<std::uint64_t>(startMs_) * static_cast<std::uint64_t>(rate_) / 1000 *
                 static_cast<std::uint64_t>(channels_) * 2;
    return device_ != nullptr;
}

bool SongPipeline::waitForFreeBuffer() { return waitForBuffers(1); }

bool SongPipeline::waitUntilAllDone() { return waitForBuffers(kBufferCount); }

bool SongPipeline::waitForBuffers(std::size_t count) {
    std::unique_lock lock(mutex_);
    while (!stop_ && free_ < count) {
        if (paused_) {
            changed_.wait(lock);
            continue;
        }
        // Any change (a buffer back, a pause) starts the limit afresh.
        const std::size_t seen = free_;
        if (!changed_.wait_for(lock, kStallLimit,
                               [&] { return stop_ || paused_ || free_ != seen; })) {
            stalled_ = true;
            return false;
        }
    }
    return !stop_;
}

// Writes the partly filled buffer at the next index, if it holds anything.
bool SongPipeline::flushBuffer() {
    platform::WaveBuffer& header = headers_[next_];
    if (header.prepared || header.length == 0) {
        return true;  // nothing being filled
    }
    {
        std::lock_guard lock(mutex_);
        --free_;
    }
    platform::prepareWaveBuffer(header);
    if (!device_->write(header)) {
        std::lock_guard lock(mutex_);
        ++free_;
    }
    next_ = (next_ + 1) % kBufferCount;
    return waitForFreeBuffer();
}

bool SongPipeline::queueBytes(std::span<const std::uint8_t> pcm) {
    if (skipBytes_ > 0) {
        const auto skipped = static_cast<std::size_t>(std::min<std::uint64_t>(skipBytes_, pcm.size()));
        skipBytes_ -= skipped;
        pcm = pcm.subspan(skipped);
    }
    while (!pcm.empty()) {
        platform::WaveBuffer& header = headers_[next_];
        if (header.prepared) {
            // Played (a free buffer is always the oldest one written): fill it afresh.
            platform::unprepareWaveBuffer(header);
            header.length = 0;
        }
        const std::size_t room = kBufferBytes - header.length;
        const std::size_t take = std::min(room, pcm.size());
        std::memcpy(header.data + header.length, pcm.data(), take);
        header.length += static_cast<std::uint32_t>(take);
        pcm = pcm.subspan(take);
        if (header.length == kBufferBytes && !flushBuffer()) {
            return false;
        }
    }
    return true;
}

void SongPipeline::closeDevice() {
    std::unique_ptr<platform::WaveOut> device;
    {
        std::lock_guard lock(deviceMutex_);
        device = std::move(device_);
    }
    if (device) {
        if (stop_ || stalled_) {
            device->pause();
            device->reset();
        }
        device->close();  // after the last buffer, lets the sound finish
    }
    std::lock_guard lock(mutex_);
    free_ = kBufferCount;
    for (platform::WaveBuffer& header : headers_) {
        header = platform::WaveBuffer{header.data, 0, false, false};
    }
}

void SongPipeline::run() {
    std::vector<std::uint8_t> block(SongFileReader::kBlockBytes);
    bool endOfFile = false;
    while (!stop_) {
        std::span<const std::uint8_t> pcm;
        const MpegDecoder::Step step = decoder_.next(pcm);
        if (step == MpegDecoder::Step::needMore && !endOfFile) {
            const std::size_t got = reader_->read(block.data());
            endOfFile = got < block.size();  // a short block ends the stream
            decoder_.feed({block.data(), got});
            continue;
        }
        if (step == MpegDecoder::Step::newFormat) {
            if (device_ && (decoder_.rate() != rate_ || decoder_.channels() != channels_)) {
                // The sound changed shape mid-file: finish the old device first.
                if (!flushBuffer() || !waitUntilAllDone()) {
                    break;
                }
                closeDevice();
            }
            if (!device_ && !openDevice()) {
                failed_ = true;  // no device: the track stays silent until removed
                return;
            }
            continue;
        }
        if (step == MpegDecoder::Step::pcm) {
            if (device_ && !queueBytes(pcm)) {
                break;
            }
            continue;
        }
        // End of the stream, or a stream the decoder gives up on.
        if (device_ && (!flushBuffer() || !waitUntilAllDone())) {
            break;
        }
        closeDevice();
        if (!stop_) {
            onEnded_();
        }
        return;
    }
    closeDevice();
    if (stalled_ && !stop_) {
        onEnded_();  // the device is gone: the track ends, the list goes on
    }
}

}  // namespace lumivox
