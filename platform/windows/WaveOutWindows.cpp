// Wave output on winmm: one waveOut handle per voice through the wave mapper,
// the format handed over as the file holds it (the mapper converts Microsoft
// ADPCM itself). A buffer is done when the device has played it.
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/WaveOut.hpp"
#include "platform/windows/WaveOutDevices.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {
namespace {

std::atomic<std::uint64_t> underruns{0};

class WinmmWaveOut final : public WaveOut {
  public:
    WinmmWaveOut(WaveOutDoneCallback callback, void* context)
        : callback_(callback), context_(context) {}

    ~WinmmWaveOut() override { close(); }

    bool open(std::span<const std::uint8_t> format, UINT deviceId) {
        // A 16-byte PCM body lacks cbSize; WAVEFORMATEX wants it (zero).
        std::vector<std::uint8_t> header(format.begin(), format.end());
        if (header.size() < sizeof(WAVEFORMATEX)) {
            header.resize(sizeof(WAVEFORMATEX), 0);
        }
        const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(header.data());
        return waveOutOpen(&device_, deviceId, wave, reinterpret_cast<DWORD_PTR>(&deviceDone),
                           reinterpret_cast<DWORD_PTR>(this),
                           CALLBACK_FUNCTION) == MMSYSERR_NOERROR;
    }

    bool write(WaveBuffer& buffer) override {
        if (device_ == nullptr || !buffer.prepared || buffer.queued) {
            return false;
        }
        releaseFinishedHeaders();
        Header& header = headers_.emplace_back();
        header.buffer = &buffer;
        header.wave.lpData = reinterpret_cast<LPSTR>(buffer.data);
        header.wave.dwBufferLength = buffer.length;
        header.wave.dwUser = reinterpret_cast<DWORD_PTR>(&header);
        if (waveOutPrepareHeader(device_, &header.wave, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            headers_.pop_back();
            return false;
        }
        buffer.queued = true;
        {
            std::lock_guard lock(mutex_);
            // The device ran dry before this buffer came: a gap in the sound.
            if (played_ && queued_ == 0 && !wasReset_) {
                ++underruns;
            }
            ++queued_;
        }
        if (waveOutWrite(device_, &header.wave, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            buffer.queued = false;
            {
                std::lock_guard lock(mutex_);
                --queued_;
            }
            waveOutUnprepareHeader(device_, &header.wave, sizeof(WAVEHDR));
            headers_.pop_back();
            return false;
        }
        std::lock_guard lock(mutex_);
        wasReset_ = false;
        return true;
    }

    void pause() override {
        if (device_ != nullptr) {
            waveOutPause(device_);
        }
    }

    void restart() override {
        if (device_ != nullptr) {
            waveOutRestart(device_);
        }
    }

    void reset() override {
        if (device_ == nullptr) {
            return;
        }
        waveOutReset(device_);
        {
            // The device hands every buffer back on its own thread; wait for the last.
            std::unique_lock lock(mutex_);
            drained_.wait_for(lock, std::chrono::seconds(5), [this] { return queued_ == 0; });
            wasReset_ = true;
        }
        releaseFinishedHeaders();
    }

    void close() override {
        if (device_ == nullptr) {
            return;
        }
        bool queued;
        {
            std::lock_guard lock(mutex_);
            queued = queued_ > 0;
        }
        if (queued) {
            reset();  // closed with buffers still queued: they come back as with `reset`
        }
        releaseFinishedHeaders();
        waveOutClose(device_);
        device_ = nullptr;
    }

  private:
    struct Header {
        WAVEHDR wave{};
        WaveBuffer* buffer = nullptr;
        bool finished = false;  // under the mutex
    };

    static void CALLBACK deviceDone(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                    DWORD_PTR) {
        if (message != WOM_DONE) {
            return;
        }
        // No winmm call may be made here: the header is released by the owner's thread.
        auto* self = reinterpret_cast<WinmmWaveOut*>(instance);
        auto* header = reinterpret_cast<Header*>(reinterpret_cast<WAVEHDR*>(param1)->dwUser);
        WaveBuffer* buffer = header->buffer;
        buffer->queued = false;
        self->callback_(self->context_, buffer);
        // Last: once the count reaches zero the owner may close and free everything.
        std::lock_guard lock(self->mutex_);
        header->finished = true;
        self->played_ = true;
        --self->queued_;
        self->drained_.notify_all();
    }

    void releaseFinishedHeaders() {
        for (auto it = headers_.begin(); it != headers_.end();) {
            bool finished;
            {
                std::lock_guard lock(mutex_);
                finished = it->finished;
            }
            if (finished) {
                waveOutUnprepareHeader(device_, &it->wave, sizeof(WAVEHDR));
                it = headers_.erase(it);
            } else {
                ++it;
            }
        }
    }

    WaveOutDoneCallback callback_;
    void* context_;
    HWAVEOUT device_ = nullptr;
    std::list<Header> headers_;  // stable addresses: the device holds them
    std::mutex mutex_;           // guards what follows and the headers' `finished`
    std::condition_variable drained_;
    int queued_ = 0;
    bool played_ = false;
    bool wasReset_ = false;
};

}  // namespace

std::vector<std::string> waveOutDeviceNames() {
    std::vector<std::string> names;
    const UINT count = waveOutGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        WAVEOUTCAPSW caps{};
        if (waveOutGetDevCapsW(id, &caps, sizeof(caps)) == MMSYSERR_NOERROR) {
            names.push_back(narrow(caps.szPname));
        }
    }
    return names;
}

std::optional<UINT> waveOutDeviceByName(const std::string& name) {
    const std::vector<std::string> names = waveOutDeviceNames();
    for (UINT id = 0; id < names.size(); ++id) {
        if (names[id] == name) {
            return id;
        }
    }
    return std::nullopt;
}

std::unique_ptr<WaveOut> openWaveOut(std::span<const std::uint8_t> format,
                                     WaveOutDoneCallback callback, void* context) {
    return openWaveOutOn({}, format, callback, context);
}

std::unique_ptr<WaveOut> openWaveOutOn(const std::string& name,
                                       std::span<const std::uint8_t> format,
                                       WaveOutDoneCallback callback, void* context) {
    if (format.size() < 16) {
        return nullptr;
    }
    UINT deviceId = WAVE_MAPPER;
    if (!name.empty()) {
        // Devices are numbered by the system in an order that changes as they
        // come and go: the name is what stays.
        const std::optional<UINT> found = waveOutDeviceByName(name);
        if (!found) {
            return nullptr;
        }
        deviceId = *found;
    }
    auto device = std::make_unique<WinmmWaveOut>(callback, context);
    if (!device->open(format, deviceId)) {
        return nullptr;
    }
    return device;
}

void raiseSoundThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

std::uint64_t waveOutUnderrunCount() {
    return underruns.load();
}

}  // namespace lumivox::platform
