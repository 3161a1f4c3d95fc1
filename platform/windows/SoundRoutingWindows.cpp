// Who hears a sound, on winmm. A program cannot make a microphone without a
// driver, so the viewers hear through an output device the host picks (a
// virtual cable the host installed, say) and the host through another. A sound
// for both plays on both devices: each buffer goes to each device as a copy at
// the sound's volume, and is done for its owner once every copy is. A device
// that is not there (pulled out) is replaced by the default one; a device of
// that name is looked for again at every new sound, so it is used again once
// it returns. The system mixes the sounds; each copy is saturated, never wrapped.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <list>
#include <mutex>

#include "platform/SoundRouting.hpp"
#include "platform/windows/WaveOutDevices.hpp"

namespace lumivox::platform {
namespace {

std::mutex routeMutex;  // guards route
SoundRoute route;
std::atomic<int> effectsVolume{100}, songsVolume{100};

// 8- or 16-bit PCM scaled in place; other formats (Microsoft ADPCM) cannot be
// scaled without decoding them and play as they are.
void scale(std::uint8_t* data, std::size_t length, int bits, int volume) {
    if (volume >= 100) {
        return;
    }
    if (bits == 16) {
        for (std::size_t i = 0; i + 1 < length; i += 2) {
            std::int16_t sample;
            std::memcpy(&sample, data + i, 2);
            sample = static_cast<std::int16_t>(sample * volume / 100);
            std::memcpy(data + i, &sample, 2);
        }
    } else if (bits == 8) {
        for (std::size_t i = 0; i < length; ++i) {
            data[i] = static_cast<std::uint8_t>(128 + (data[i] - 128) * volume / 100);
        }
    }
}

class RoutedWaveOut final : public WaveOut {
public:
    RoutedWaveOut(WaveOutDoneCallback callback, void* context, SoundKind kind, int pcmBits)
        : callback_(callback), context_(context), kind_(kind), pcmBits_(pcmBits) {}
    ~RoutedWaveOut() override { close(); }

    bool open(std::span<const std::uint8_t> format, const std::vector<std::string>& devices) {
        for (const std::string& device : devices) {
            auto out = openWaveOutOn(device, format, &RoutedWaveOut::copyDone, this);
            if (!out && !device.empty()) {
                out = openWaveOutOn({}, format, &RoutedWaveOut::copyDone, this);
            }
            if (out) {
                devices_.push_back(std::move(out));
            }
        }
        return !devices_.empty();
    }

    // Plays silence of the sound's length (nobody is to hear it).
    void mute() { muted_ = true; }

    bool write(WaveBuffer& buffer) override {
        if (!buffer.prepared || buffer.queued) {
            return false;
        }
        const int volume = kind_ == SoundKind::song ? songsVolume.load() : effectsVolume.load();
        Entry* entry;
        {
            std::lock_guard lock(mutex_);
            entry = &entries_.emplace_back();
            entry->owner = &buffer;
            entry->copies.resize(devices_.size());
            entry->pending = static_cast<int>(devices_.size());
        }
        buffer.queued = true;
        for (std::size_t i = 0; i < devices_.size(); ++i) {
            Copy& copy = entry->copies[i];
            if (muted_) {
                // Silence in every format used here: 8-bit PCM rests at 128; 16-bit
                // PCM and Microsoft ADPCM blocks of zeros decode to zeros.
                copy.bytes.assign(buffer.length, pcmBits_ == 8 ? 128 : 0);
            } else {
                copy.bytes.assign(buffer.data, buffer.data + buffer.length);
                scale(copy.bytes.data(), copy.bytes.size(), pcmBits_, volume);
            }
            copy.buffer.data = copy.bytes.data();
            copy.buffer.length = buffer.length;
            prepareWaveBuffer(copy.buffer);
            if (!devices_[i]->write(copy.buffer)) {
                copyDone(this, &copy.buffer);  // refused: done for this device
            }
        }
        return true;
    }

    void pause() override {
        for (auto& device : devices_) device->pause();
    }
    void restart() override {
        for (auto& device : devices_) device->restart();
    }
    void reset() override {
        for (auto& device : devices_) device->reset();
    }
    void close() override {
        for (auto& device : devices_) device->close();
        devices_.clear();
    }

private:
    struct Copy {
        WaveBuffer buffer;
        std::vector<std::uint8_t> bytes;
    };
    struct Entry {
        WaveBuffer* owner = nullptr;
        std::vector<Copy> copies;
        int pending = 0;
    };

    // A device's thread (or the caller's, in `reset`).
    static void copyDone(void* context, WaveBuffer* copy) {
        auto* self = static_cast<RoutedWaveOut*>(context);
        WaveBuffer* owner = nullptr;
        {
            std::lock_guard lock(self->mutex_);
            for (auto entry = self->entries_.begin(); entry != self->entries_.end(); ++entry) {
                const bool mine = std::any_of(entry->copies.begin(), entry->copies.end(),
                                              [&](const Copy& c) { return &c.buffer == copy; });
                if (mine) {
                    unprepareWaveBuffer(*copy);
                    if (--entry->pending == 0) {
                        owner = entry->owner;
                        self->entries_.erase(entry);
                    }
                    break;
                }
            }
        }
        if (owner != nullptr) {
            owner->queued = false;
            self->callback_(self->context_, owner);
        }
    }

    WaveOutDoneCallback callback_;
    void* context_;
    SoundKind kind_;
    int pcmBits_;  // 8 or 16 for PCM, 0 for a format not scaled here
    bool muted_ = false;
    std::vector<std::unique_ptr<WaveOut>> devices_;
    std::mutex mutex_;  // guards entries_
    std::list<Entry> entries_;
};

}  // namespace

bool hasVirtualMicrophone() { return false; }

void setSoundRoute(const SoundRoute& next) {
    std::lock_guard lock(routeMutex);
    route = next;
    effectsVolume = std::clamp(next.effectsVolume, 0, 100);
    songsVolume = std::clamp(next.songsVolume, 0, 100);
}

SoundRoute soundRoute() {
    std::lock_guard lock(routeMutex);
    return route;
}

std::unique_ptr<WaveOut> openRoutedWaveOut(std::span<const std::uint8_t> format,
                                           WaveOutDoneCallback callback, void* context,
                                           SoundKind kind) {
    if (format.size() < 16) {
        return nullptr;
    }
    const SoundRoute now = soundRoute();
    const bool viewers = kind == SoundKind::song ? now.songsToMicrophone : now.effectsToMicrophone;
    std::vector<std::string> devices;
    if (now.monitor) {
        devices.push_back(now.monitorDevice);
    }
    // The viewers' device, unless it is the host's as well (then the sound is
    // heard there once).
    if (viewers && (!now.monitor || now.viewersDevice != now.monitorDevice)) {
        devices.push_back(now.viewersDevice);
    }
    const std::uint16_t tag = static_cast<std::uint16_t>(format[0] | (format[1] << 8));
    const std::uint16_t bits = static_cast<std::uint16_t>(format[14] | (format[15] << 8));
    const int pcmBits = tag == 1 && (bits == 8 || bits == 16) ? bits : 0;
    auto out = std::make_unique<RoutedWaveOut>(callback, context, kind, pcmBits);
    if (devices.empty()) {
        // Nobody hears it: it still plays, silently, on the default device, so
        // that it ends when it would have.
        if (!out->open(format, {std::string()})) {
            return nullptr;
        }
        out->mute();
        return out;
    }
    if (!out->open(format, devices)) {
        return nullptr;
    }
    return out;
}

std::vector<SoundDevice> soundOutputDevices() {
    std::vector<SoundDevice> devices;
    for (const std::string& name : waveOutDeviceNames()) {
        devices.push_back({name, name});
    }
    return devices;
}

std::vector<SoundDevice> soundInputDevices() { return {}; }

}  // namespace lumivox::platform
