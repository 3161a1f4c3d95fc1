#include "sound/MidiPlayer.hpp"

#include <vector>

#include "sound/WaveFile.hpp"

namespace lumivox {
namespace {

constexpr std::size_t kSliceFrames = 64;      // events are placed to within 1.5 ms
constexpr std::uint64_t kReleaseTailUs = 1000000;  // lets the last notes ring out

}  // namespace

MidiPlayer::MidiPlayer(platform::WaveOutOpener openDevice) : openDevice_(std::move(openDevice)) {}

MidiPlayer::~MidiPlayer() { stop(); }

void MidiPlayer::stop() {
    std::lock_guard control(controlMutex_);
    stop_ = true;
    {
        std::lock_guard lock(bufferMutex_);
        bufferFreed_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    stop_ = false;
    data_.clear();
}

void MidiPlayer::play(std::span<const std::uint8_t> file, bool loop) {
    stop();
    std::lock_guard control(controlMutex_);
    data_.assign(file.begin(), file.end());
    std::optional<MidiSong> song = parseMidiFile(data_);
    if (!song) {
        return;
    }
    playing_ = true;
    thread_ = std::thread([this, song = std::move(*song), loop]() mutable { run(std::move(song), loop); });
}

void MidiPlayer::onBufferDone(void* context, platform::WaveBuffer*) {
    auto* player = static_cast<MidiPlayer*>(context);
    std::lock_guard lock(player->bufferMutex_);
    ++player->free_;
    player->bufferFreed_.notify_all();
}

bool MidiPlayer::waitForFreeBuffers(std::size_t count) {
    std::unique_lock lock(bufferMutex_);
    // Each buffer that comes back starts the stall limit afresh.
    for (std::size_t seen = free_; !stop_ && free_ < count; seen = free_) {
        if (!bufferFreed_.wait_for(lock, kStallLimit, [&] { return stop_ || free_ != seen; })) {
            return false;
        }
    }
    return !stop_;
}

void MidiPlayer::renderBuffer(const MidiSong& song, std::size_t& nextEvent, std::uint64_t& frame,
                              platform::WaveBuffer& header) {
    auto* samples = reinterpret_cast<std::int16_t*>(header.data);
    for (std::size_t done = 0; done < kBufferFrames; done += kSliceFrames) {
        const std::uint64_t nowUs = frame * 1000000 / kSampleRate;
        for (; nextEvent < song.events.size() && song.events[nextEvent].timeUs <= nowUs;
             ++nextEvent) {
            const MidiEvent& event = song.events[nextEvent];
            if (event.status == 0xF0) {
                synth_->sendSystemExclusive(event.systemExclusive);
            } else {
                synth_->send(event.status, event.data1, event.data2);
            }
        }
        synth_->render(samples + 2 * done, kSliceFrames);
        frame += kSliceFrames;
    }
    header.length = static_cast<std::uint32_t>(kBufferFrames * 4);
}

void MidiPlayer::run(MidiSong song, bool loop) {
    if (!synth_) {
        synth_ = platform::openMidiSynth(kSampleRate);
    }
    const auto format = pcm16FormatBody(kSampleRate, 2);
    std::unique_ptr<platform::WaveOut> device =
        synth_ ? openDevice_(format, &MidiPlayer::onBufferDone, this) : nullptr;
    if (!device) {
        playing_ = false;  // no synthesizer or no device: the song stays silent
        return;
    }
    std::vector<std::uint8_t> storage(kBufferCount * kBufferFrames * 4);
    std::array<platform::WaveBuffer, kBufferCount> headers{};
    for (std::size_t i = 0; i < kBufferCount; ++i) {
        headers[i].data = storage.data() + i * kBufferFrames * 4;
    }
    {
        std::lock_guard lock(bufferMutex_);
        free_ = kBufferCount;
    }
    std::size_t next = 0;
    const std::uint64_t endFrame = (song.lengthUs + kReleaseTailUs) * kSampleRate / 1000000;
    bool stopped = false;
    do {
        synth_->reset();
        std::size_t nextEvent = 0;
        std::uint64_t frame = 0;
        while (frame < endFrame) {
            if (!waitForFreeBuffers(1)) {
                stopped = true;
                break;
            }
            platform::WaveBuffer& header = headers[next];
            platform::unprepareWaveBuffer(header);
            renderBuffer(song, nextEvent, frame, header);
            platform::prepareWaveBuffer(header);
            {
                std::lock_guard lock(bufferMutex_);
                --free_;
            }
            if (!device->write(header)) {
                std::lock_guard lock(bufferMutex_);
                ++free_;
            }
            next = (next + 1) % kBufferCount;
        }
    } while (loop && !stopped);
    if (!stopped) {
        stopped = !waitForFreeBuffers(kBufferCount);
    }
    if (stopped) {
        device->pause();
        device->reset();
    }
    device->close();
    synth_->reset();
    playing_ = false;
}

}  // namespace lumivox
