#pragma once
// A wave-output device for tests: it records what it is given and completes
// buffers only when the test says so, so that a voice's buffer bookkeeping can
// be followed step by step.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WaveOut.hpp"

namespace lumivox::testing {

struct DeviceLog {
    std::mutex mutex;
    std::string format;
    std::vector<std::string> written;  // every buffer's bytes, in order
    std::deque<platform::WaveBuffer*> queued;
    platform::WaveOutDoneCallback callback = nullptr;
    void* context = nullptr;
    int pauses = 0;
    int resets = 0;
    bool closed = false;

    std::size_t writtenCount() {
        std::lock_guard lock(mutex);
        return written.size();
    }
    bool isClosed() {
        std::lock_guard lock(mutex);
        return closed;
    }
    // Completes the oldest queued buffer, as the device thread would; false when none.
    bool completeOne() {
        platform::WaveBuffer* buffer = nullptr;
        {
            std::lock_guard lock(mutex);
            if (queued.empty()) {
                return false;
            }
            buffer = queued.front();
            queued.pop_front();
            buffer->queued = false;
        }
        callback(context, buffer);
        return true;
    }
};

// Holds every device's reset until released, as a device whose reset waits for
// its driver; counts the resets that arrived.
class ResetGate {
public:
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    std::size_t arrived() {
        std::lock_guard lock(mutex_);
        return arrived_;
    }
    void pass() {
        std::unique_lock lock(mutex_);
        ++arrived_;
        changed_.wait(lock, [this] { return !held_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    std::size_t arrived_ = 0;
};

class RecordingWaveOut final : public platform::WaveOut {
public:
    RecordingWaveOut(std::shared_ptr<DeviceLog> log, std::shared_ptr<ResetGate> gate)
        : log_(std::move(log)), gate_(std::move(gate)) {}
    bool write(platform::WaveBuffer& buffer) override {
        std::lock_guard lock(log_->mutex);
        log_->written.emplace_back(reinterpret_cast<const char*>(buffer.data), buffer.length);
        buffer.queued = true;
        log_->queued.push_back(&buffer);
        return true;
    }
    void pause() override {
        std::lock_guard lock(log_->mutex);
        ++log_->pauses;
    }
    void restart() override {}
    void reset() override {
        gate_->pass();
        std::deque<platform::WaveBuffer*> all;
        {
            std::lock_guard lock(log_->mutex);
            ++log_->resets;
            all.swap(log_->queued);
        }
        for (platform::WaveBuffer* buffer : all) {
            buffer->queued = false;
            log_->callback(log_->context, buffer);
        }
    }
    void close() override {
        std::lock_guard lock(log_->mutex);
        log_->closed = true;
    }

private:
    std::shared_ptr<DeviceLog> log_;
    std::shared_ptr<ResetGate> gate_;
};

// An opener that makes recording devices and keeps their logs, in order of opening;
// formats whose first byte is 0xEE fail to open.
class RecordingDevices {
public:
    platform::WaveOutOpener opener() {
        return [this](std::span<const std::uint8_t> format, platform::WaveOutDoneCallback callback,
                      void* context) -> std::unique_ptr<platform::WaveOut> {
            auto log = std::make_shared<DeviceLog>();
            log->format.assign(format.begin(), format.end());
            log->callback = callback;
            log->context = context;
            std::lock_guard lock(mutex_);
            logs_.push_back(log);
            if (!format.empty() && format[0] == 0xEE) {
                return nullptr;
            }
            return std::make_unique<RecordingWaveOut>(log, resets_);
        };
    }
    std::shared_ptr<DeviceLog> log(std::size_t index) {
        std::lock_guard lock(mutex_);
        return index < logs_.size() ? logs_[index] : nullptr;
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return logs_.size();
    }
    ResetGate& resets() { return *resets_; }

private:
    std::shared_ptr<ResetGate> resets_ = std::make_shared<ResetGate>();
    std::mutex mutex_;
    std::vector<std::shared_ptr<DeviceLog>> logs_;
};

}  // namespace lumivox::testing
