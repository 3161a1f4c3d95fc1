#include "platform/linux/SoundMixer.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/linux/MsAdpcm.hpp"
#include "platform/linux/WaveFormat.hpp"

namespace lumivox::platform {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kOutputBuffers = 3;  // 30 ms queued ahead of the server
// An output that has handed back no buffer for this long is gone (its device
// was pulled out, the server ended): it is closed and opened afresh.
constexpr auto kOutputStall = 400ms;
// Outputs idle this long are closed, so that an idle program holds no stream.
constexpr auto kIdleClose = 1500ms;
constexpr float kRelease = 0.99977f;  // per frame: about 100 ms to recover 20 dB

using Done = std::vector<std::pair<WaveBuffer*, std::pair<WaveOutDoneCallback, void*>>>;

void report(const Done& done) {
    for (const auto& [buffer, to] : done) {
        to.first(to.second, buffer);
    }
}

float readSample(const std::uint8_t* p, SampleKind kind) {
    switch (kind) {
        case SampleKind::unsigned8: return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
        case SampleKind::signed16:
        case SampleKind::msAdpcm:
            return static_cast<float>(static_cast<std::int16_t>(p[0] | (p[1] << 8))) / 32768.0f;
        case SampleKind::signed24: {
            const std::int32_t v = (p[0] << 8) | (p[1] << 16) | (p[2] << 24);
            return static_cast<float>(v) / 2147483648.0f;
        }
        case SampleKind::signed24In32: {
            const std::int32_t v = (p[0] << 8) | (p[1] << 16) | (p[2] << 24);
            return static_cast<float>(v) / 2147483648.0f;
        }
        case SampleKind::signed32: {
            const std::int32_t v = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
            return static_cast<float>(v) / 2147483648.0f;
        }
        case SampleKind::float32: {
            float v;
            std::memcpy(&v, p, 4);
            return std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
        }
    }
    return 0.0f;
}

std::size_t sampleBytes(SampleKind kind) {
    switch (kind) {
        case SampleKind::unsigned8: return 1;
        case SampleKind::signed16:
        case SampleKind::msAdpcm: return 2;
        case SampleKind::signed24: return 3;
        default: return 4;
    }
}

}  // namespace

void Limiter::process(float* frames, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        float& left = frames[2 * i];
        float& right = frames[2 * i + 1];
        const float peak = std::max(std::fabs(left), std::fabs(right));
        envelope_ = std::max(peak, envelope_ * kRelease);
        if (envelope_ > SoundMixer::kCeiling) {
            const float gain = SoundMixer::kCeiling / envelope_;
            left *= gain;
            right *= gain;
        }
    }
}

struct SoundMixer::Impl {
    class Input;
    struct Output {
        std::unique_ptr<WaveOut> device;
        std::string openedOn;  // the name asked for ("" default)
        std::array<WaveBuffer, kOutputBuffers> buffers{};
        std::vector<std::int16_t> storage = std::vector<std::int16_t>(kOutputBuffers * kBlockFrames * 2);
        std::atomic<int> free{static_cast<int>(kOutputBuffers)};
        std::size_t next = 0;
        Limiter limiter;
        Clock::time_point lastDone;
        bool effects = false, songs = false;
        Impl* owner = nullptr;
    };

    DestinationsFn destinations;
    OutputOpener openOutput;

    std::mutex mutex_;  // guards inputs_ and every input's queue; never held around a device call
    std::vector<Input*> inputs_;
    std::atomic<float> effectsGain{1.0f}, songsGain{1.0f};

    std::mutex wakeMutex_;  // guards wake_, stop_, rerouted_; taken by device callbacks
    std::condition_variable wakeUp_;
    bool wake_ = false;
    bool stop_ = false;
    bool rerouted_ = false;

    std::thread thread_;
    Output host_, viewers_;

    void wake() {
        std::lock_guard lock(wakeMutex_);
        wake_ = true;
        wakeUp_.notify_all();
    }

    static void outputDone(void* context, WaveBuffer*) {
        auto* output = static_cast<Output*>(context);
        output->free.fetch_add(1);
        output->owner->wake();
    }

    bool anyInputWaiting();
    void run();
    void openOutputs();
    void closeOutput(Output& output, bool flush);
    void render(std::vector<float>& effects, std::vector<float>& songs, Done& done);
    void send(Output& output, const std::vector<float>& effects, const std::vector<float>& songs);
};

// One sound's way into the mix: the engine's buffers, converted to float
// stereo at the sound's own rate when written (on the feeder's thread),
// resampled to the mix rate as the mixer reads them.
class SoundMixer::Impl::Input final : public WaveOut {
public:
    Input(Impl& mixer, const WaveFormat& format, SoundKind kind, WaveOutDoneCallback callback,
          void* context)
        : mixer_(mixer),
          format_(format),
          kind_(kind),
          callback_(callback),
          context_(context),
          step_(static_cast<double>(format.samplesPerSecond) / SoundMixer::kRate) {
        if (format.kind == SampleKind::msAdpcm) {
            adpcm_.emplace(format);
        }
        frameBytes_ = sampleBytes(format.kind) * format.channels;
    }
    ~Input() override { close(); }

    SoundKind kind() const { return kind_; }

    bool write(WaveBuffer& buffer) override {
        if (!buffer.prepared) {
            return false;
        }
        Pending pending{&buffer, {}, 0};
        convert(buffer, pending.frames);
        {
            std::lock_guard lock(mixer_.mutex_);
            if (closed_ || buffer.queued) {
                return false;
            }
            buffer.queued = true;
            queue_.push_back(std::move(pending));
        }
        mixer_.wake();
        return true;
    }

    void pause() override {
        std::lock_guard lock(mixer_.mutex_);
        paused_ = true;
    }

    void restart() override {
        {
            std::lock_guard lock(mixer_.mutex_);
            paused_ = false;
        }
        mixer_.wake();
    }

    void reset() override {
        Done done;
        {
            std::lock_guard lock(mixer_.mutex_);
            takeAll(done);
            if (adpcm_) {
                adpcm_->clear();
            }
            carry_.clear();
            primed_ = false;
        }
        report(done);
    }

    void close() override {
        Done done;
        {
            std::lock_guard lock(mixer_.mutex_);
            if (closed_) {
                return;
            }
            closed_ = true;
            takeAll(done);
            std::erase(mixer_.inputs_, this);
        }
        report(done);
    }

    // With the mixer's lock: waiting to be heard.
    bool waiting() const { return !paused_ && !queue_.empty(); }

    // With the mixer's lock: adds one block at the mix rate into `bus`.
    void mixInto(float* bus, float gain, Done& done) {
        if (paused_) {
            return;
        }
        if (!primed_) {
            if (!fetch(a_, done) || !fetch(b_, done)) {
                return;
            }
            primed_ = true;
            position_ = 0.0;
        }
        for (std::size_t i = 0; i < SoundMixer::kBlockFrames; ++i) {
            const float t = static_cast<float>(position_);
            bus[2 * i] += (a_[0] + (b_[0] - a_[0]) * t) * gain;
            bus[2 * i + 1] += (a_[1] + (b_[1] - a_[1]) * t) * gain;
            position_ += step_;
            while (position_ >= 1.0) {
                position_ -= 1.0;
                a_ = b_;
                if (!fetch(b_, done)) {
                    primed_ = false;  // starved or ended: starts afresh with new data
                    return;
                }
            }
        }
    }

private:
    struct Pending {
        WaveBuffer* buffer;
        std::vector<float> frames;  // stereo
        std::size_t next;           // frames read
    };

    // Caller's thread, before the lock: the buffer's whole frames to float
    // stereo; a frame split by the buffer's end is completed by the next one.
    void convert(const WaveBuffer& buffer, std::vector<float>& frames) {
        std::span<const std::uint8_t> bytes(buffer.data, buffer.length);
        std::vector<std::uint8_t> decoded;
        if (adpcm_) {
            adpcm_->decode(bytes, decoded);
            bytes = decoded;
        }
        std::vector<std::uint8_t> joined;
        if (!carry_.empty()) {
            joined = carry_;
            joined.insert(joined.end(), bytes.begin(), bytes.end());
            bytes = joined;
        }
        const std::size_t count = bytes.size() / frameBytes_;
        frames.resize(count * 2);
        const std::size_t width = sampleBytes(format_.kind);
        for (std::size_t f = 0; f < count; ++f) {
            const std::uint8_t* frame = bytes.data() + f * frameBytes_;
            const float left = readSample(frame, format_.kind);
            const float right = format_.channels > 1 ? readSample(frame + width, format_.kind) : left;
            frames[2 * f] = left;
            frames[2 * f + 1] = right;
        }
        carry_.assign(bytes.begin() + static_cast<long>(count * frameBytes_), bytes.end());
    }

    // With the mixer's lock: the next frame, handing back every buffer read to its end.
    bool fetch(std::array<float, 2>& frame, Done& done) {
        while (!queue_.empty()) {
            Pending& front = queue_.front();
            const bool has = front.next * 2 < front.frames.size();
            if (has) {
                frame = {front.frames[front.next * 2], front.frames[front.next * 2 + 1]};
                ++front.next;
            }
            if (front.next * 2 >= front.frames.size()) {
                front.buffer->queued = false;
                done.push_back({front.buffer, {callback_, context_}});
                queue_.pop_front();
            }
            if (has) {
                return true;
            }
        }
        return false;
    }

    void takeAll(Done& done) {
        for (Pending& pending : queue_) {
            pending.buffer->queued = false;
            done.push_back({pending.buffer, {callback_, context_}});
        }
        queue_.clear();
    }

    Impl& mixer_;
    WaveFormat format_;
    SoundKind kind_;
    WaveOutDoneCallback callback_;
    void* context_;
    const double step_;  // input frames per mix frame
    std::size_t frameBytes_ = 1;
    std::optional<MsAdpcmDecoder> adpcm_;
    std::vector<std::uint8_t> carry_;  // feeder's thread only
    // Under the mixer's lock:
    std::deque<Pending> queue_;
    bool paused_ = false;
    bool closed_ = false;
    bool primed_ = false;
    std::array<float, 2> a_{}, b_{};
    double position_ = 0.0;
};

bool SoundMixer::Impl::anyInputWaiting() {
    std::lock_guard lock(mutex_);
    return std::any_of(inputs_.begin(), inputs_.end(), [](Input* in) { return in->waiting(); });
}

void SoundMixer::Impl::closeOutput(Output& output, bool flush) {
    if (output.device) {
        if (flush) {
            output.device->pause();
            output.device->reset();
        }
        output.device->close();
        output.device.reset();
    }
    output.free = static_cast<int>(kOutputBuffers);
    output.next = 0;
    for (WaveBuffer& buffer : output.buffers) {
        buffer.prepared = false;
        buffer.queued = false;
    }
    output.limiter = Limiter{};
}

// Mixer thread: opens the outputs the destinations ask for (the host's on its
// device, or on the default one when that is not there).
void SoundMixer::Impl::openOutputs() {
    const MixDestinations want = destinations();
    static const std::vector<std::uint8_t> format = [] {
        // 16-bit PCM, stereo, kRate.
        std::vector<std::uint8_t> body(16);
        auto put16 = [&](std::size_t at, std::uint32_t v) {
            body[at] = static_cast<std::uint8_t>(v);
            body[at + 1] = static_cast<std::uint8_t>(v >> 8);
        };
        auto put32 = [&](std::size_t at, std::uint32_t v) {
            put16(at, v & 0xFFFF);
            put16(at + 2, v >> 16);
        };
        put16(0, 1);
        put16(2, 2);
        put32(4, SoundMixer::kRate);
        put32(8, SoundMixer::kRate * 4);
        put16(12, 4);
        put16(14, 16);
        return body;
    }();
    auto place = [&](Output& output, bool wanted, const std::string& device, bool fallback) {
        if (!wanted || (output.device && output.openedOn != device)) {
            closeOutput(output, true);
        }
        if (!wanted || output.device) {
            return;
        }
        output.device = openOutput(device, format, &Impl::outputDone, &output);
        output.openedOn = device;
        if (!output.device && fallback && !device.empty()) {
            // Not there (pulled out): the default until it comes back.
            output.device = openOutput({}, format, &Impl::outputDone, &output);
            output.openedOn.clear();
        }
        output.lastDone = Clock::now();
    };
    place(host_, want.hostEffects || want.hostSongs, want.hostDevice, true);
    place(viewers_, (want.viewersEffects || want.viewersSongs) && !want.viewersDevice.empty(),
          want.viewersDevice, false);
    host_.effects = want.hostEffects;
    host_.songs = want.hostSongs;
    viewers_.effects = want.viewersEffects;
    viewers_.songs = want.viewersSongs;
}

void SoundMixer::Impl::render(std::vector<float>& effects, std::vector<float>& songs, Done& done) {
    std::fill(effects.begin(), effects.end(), 0.0f);
    std::fill(songs.begin(), songs.end(), 0.0f);
    const float effectsGainNow = effectsGain.load();
    const float songsGainNow = songsGain.load();
    std::lock_guard lock(mutex_);
    for (Input* input : inputs_) {
        const bool song = input->kind() == SoundKind::song;
        input->mixInto(song ? songs.data() : effects.data(), song ? songsGainNow : effectsGainNow,
                       done);
    }
    // Under the lock, as a device reports: a `reset` or `close` that comes
    // after cannot miss a buffer that was read, and its owner is still there.
    report(done);
}

void SoundMixer::Impl::send(Output& output, const std::vector<float>& effects,
                            const std::vector<float>& songs) {
    if (!output.device || output.free.load() < 1) {
        return;  // not there, or behind the other output: this block is dropped for it
    }
    std::array<float, kBlockFrames * 2> mix{};
    for (std::size_t i = 0; i < mix.size(); ++i) {
        mix[i] = (output.effects ? effects[i] : 0.0f) + (output.songs ? songs[i] : 0.0f);
    }
    output.limiter.process(mix.data(), kBlockFrames);
    WaveBuffer& buffer = output.buffers[output.next];
    std::int16_t* samples = output.storage.data() + output.next * kBlockFrames * 2;
    for (std::size_t i = 0; i < mix.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(std::lrint(mix[i] * 32767.0f));
    }
    buffer.data = reinterpret_cast<std::uint8_t*>(samples);
    buffer.length = static_cast<std::uint32_t>(kBlockFrames * 4);
    buffer.prepared = true;
    output.free.fetch_sub(1);
    if (!output.device->write(buffer)) {
        output.free.fetch_add(1);
        return;
    }
    output.next = (output.next + 1) % kOutputBuffers;
}

void SoundMixer::Impl::run() {
    std::vector<float> effects(kBlockFrames * 2), songs(kBlockFrames * 2);
    Clock::time_point idleSince = Clock::now();
    Clock::time_point nextBlock = Clock::now();
    bool routed = false;
    for (;;) {
        {
            std::unique_lock lock(wakeMutex_);
            if (stop_) {
                break;
            }
            if (rerouted_) {
                rerouted_ = false;
                routed = false;
            }
        }
        const bool active = anyInputWaiting();
        if (!active) {
            const bool open = host_.device || viewers_.device;
            std::unique_lock lock(wakeMutex_);
            if (open && Clock::now() - idleSince >= kIdleClose) {
                lock.unlock();
                // What was sent plays to its end; the next sound opens afresh,
                // on the host's own device again if it came back.
                closeOutput(host_, false);
                closeOutput(viewers_, false);
                routed = false;
                continue;
            }
            wakeUp_.wait_for(lock, open ? kIdleClose / 3 : std::chrono::milliseconds(60000),
                             [&] { return wake_ || stop_; });
            wake_ = false;
            continue;
        }
        idleSince = Clock::now();
        if (!routed) {
            openOutputs();
            routed = true;
            nextBlock = Clock::now();
        }
        // The clock: the output that plays; with none, the steady clock.
        Output* clock = host_.device ? &host_ : viewers_.device ? &viewers_ : nullptr;
        if (clock != nullptr) {
            std::unique_lock lock(wakeMutex_);
            const bool room = wakeUp_.wait_for(lock, kOutputStall, [&] {
                return clock->free.load() > 0 || stop_ || rerouted_;
            });
            wake_ = false;
            if (stop_ || rerouted_) {
                continue;
            }
            if (!room) {
                lock.unlock();
                closeOutput(*clock, true);  // gone: the next round opens it afresh
                routed = false;
                continue;
            }
        } else {
            std::this_thread::sleep_until(nextBlock);
            nextBlock += std::chrono::milliseconds(10);
        }
        Done done;
        render(effects, songs, done);
        send(host_, effects, songs);
        send(viewers_, effects, songs);
    }
    // What was mixed plays to its end (a sound's last blocks at program end).
    closeOutput(host_, false);
    closeOutput(viewers_, false);
}

SoundMixer::SoundMixer(DestinationsFn destinations, OutputOpener openOutput)
    : impl_(std::make_unique<Impl>()) {
    impl_->destinations = std::move(destinations);
    impl_->openOutput = std::move(openOutput);
    impl_->host_.owner = impl_.get();
    impl_->viewers_.owner = impl_.get();
    impl_->thread_ = std::thread([impl = impl_.get()] {
        raiseSoundThreadPriority();
        impl->run();
    });
}

SoundMixer::~SoundMixer() { shutdown(); }

void SoundMixer::shutdown() {
    {
        std::lock_guard lock(impl_->wakeMutex_);
        impl_->stop_ = true;
        impl_->wakeUp_.notify_all();
    }
    if (impl_->thread_.joinable()) {
        impl_->thread_.join();
    }
}

std::unique_ptr<WaveOut> SoundMixer::open(std::span<const std::uint8_t> formatBody,
                                          WaveOutDoneCallback callback, void* context,
                                          SoundKind kind) {
    const std::optional<WaveFormat> format = readWaveFormat(formatBody);
    if (!format || callback == nullptr || format->channels == 0 ||
        format->samplesPerSecond == 0) {
        return nullptr;
    }
    auto input = std::make_unique<Impl::Input>(*impl_, *format, kind, callback, context);
    std::lock_guard lock(impl_->mutex_);
    impl_->inputs_.push_back(input.get());
    return input;
}

void SoundMixer::setVolumes(int effects, int songs) {
    impl_->effectsGain = static_cast<float>(std::clamp(effects, 0, 100)) / 100.0f;
    impl_->songsGain = static_cast<float>(std::clamp(songs, 0, 100)) / 100.0f;
}

void SoundMixer::destinationsChanged() {
    std::lock_guard lock(impl_->wakeMutex_);
    impl_->rerouted_ = true;
    impl_->wakeUp_.notify_all();
}

}  // namespace lumivox::platform
