// Wave output on winmm: one waveOut handle per voice through the wave mapper,
// the format handed over as the file holds it (the mapper converts Microsoft
// ADPCM itself). A buffer is done when the device has played it.
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <atomic>
#include <list>
#include <mutex>
#include <vector>

#include "platform/WaveOut.hpp"

namespace lumivox::platform {
namespace {

std::atomic<std::uint64_t> underruns{0};

class WinmmWaveOut final : public WaveOut {
  public:
    WinmmWaveOut(WaveOutDoneCallback callback, void* context)
        : callback_(callback),
          context_(context),
          drained_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

    ~WinmmWaveOut() override {
        close();
        CloseHandle(drained_);
    }

    bool open(std::span<const std::uint8_t> format) {
        // A 16-byte PCM body lacks cbSize; WAVEFORMATEX wants it (zero).
        std::vector<std::uint8_t> header(format.begin(), format.end());
        if (header.size() < sizeof(WAVEFORMATEX)) {
            header.resize(sizeof(WAVEFORMATEX), 0);
        }
        const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(header.data());
        return waveOutOpen(&device_, WAVE_MAPPER, wave, reinterpret_cast<DWORD_PTR>(&deviceDone),
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
        // The device ran dry before this buffer came: a gap in the sound.
        if (played_ && queued_.load() == 0 && !wasReset_) {
            ++underruns;
        }
        buffer.queued = true;
        if (queued_.fetch_add(1) == 0) {
            ResetEvent(drained_);
        }
        if (waveOutWrite(device_, &header.wave, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            buffer.queued = false;
            if (queued_.fetch_sub(1) == 1) {
                SetEvent(drained_);
            }
            waveOutUnprepareHeader(device_, &header.wave, sizeof(WAVEHDR));
            headers_.pop_back();
            return false;
        }
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
        // The device hands every buffer back on its own thread; wait for the last.
        WaitForSingleObject(drained_, 5000);
        wasReset_ = true;
        releaseFinishedHeaders();
    }

    void close() override {
        if (device_ == nullptr) {
            return;
        }
        if (queued_.load() > 0) {
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
        std::atomic<bool> finished{false};
    };

    static void CALLBACK deviceDone(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                    DWORD_PTR) {
        if (message != WOM_DONE) {
            return;
        }
        // No winmm call may be made here: the header is released by the owner's thread.
        auto* self = reinterpret_cast<WinmmWaveOut*>(instance);
        auto* header = reinterpret_cast<Header*>(reinterpret_cast<WAVEHDR*>(param1)->dwUser);
        header->buffer->queued = false;
        header->finished = true;
        self->played_ = true;
        self->callback_(self->context_, header->buffer);
        if (self->queued_.fetch_sub(1) == 1) {
            SetEvent(self->drained_);
        }
    }

    void releaseFinishedHeaders() {
        for (auto it = headers_.begin(); it != headers_.end();) {
            if (it->finished) {
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
    std::atomic<int> queued_{0};
    std::atomic<bool> played_{false};
    bool wasReset_ = false;
    HANDLE drained_;  // set while nothing is queued
};

}  // namespace

std::unique_ptr<WaveOut> openWaveOut(std::span<const std::uint8_t> format,
                                     WaveOutDoneCallback callback, void* context) {
    if (format.size() < 16) {
        return nullptr;
    }
    auto device = std::make_unique<WinmmWaveOut>(callback, context);
    if (!device->open(format)) {
        return nullptr;
    }
    return device;
}

std::uint64_t waveOutUnderrunCount() {
    return underruns.load();
}

}  // namespace lumivox::platform
