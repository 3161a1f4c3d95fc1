// Wave output on the PulseAudio client API: one stream per handle, all of them
// in one process-wide threaded main loop. A buffer is done once the server has
// taken all of it; the target latency is kept small (the default attributes
// would buffer about two seconds), and `close` lets what was taken finish.
#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>
#include <sched.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/WaveOut.hpp"
#include "platform/linux/MsAdpcm.hpp"
#include "platform/linux/WaveFormat.hpp"

namespace lumivox::platform {
namespace {

constexpr pa_usec_t kTargetLatencyUs = 40 * 1000;
constexpr pa_usec_t kDrainLimitUs = 3 * 1000 * 1000;
// How long an open waits for the sound server to answer: a hung server must not
// hold a caller for ever.
constexpr pa_usec_t kOpenLimitUs = 3 * 1000 * 1000;

// Real-time priority of the threads that feed sound: below the sound server's
// own threads (PulseAudio asks for 5).
constexpr int kSoundThreadPriority = 4;

std::atomic<std::uint64_t> underruns{0};

class Locked {
public:
    explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~Locked() { pa_threaded_mainloop_unlock(loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

// The process-wide connection. Made on the first open and kept for the life of
// the process (never freed, so no device can outlive it); made again when the
// server went away.
class PulseConnection {
public:
    static PulseConnection& instance() {
        static PulseConnection* connection = new PulseConnection;
        return *connection;
    }

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }

    // With the loop locked: waits until `done()` or `limitUs` passed (false).
    template <typename Done>
    bool waitFor(Done done, pa_usec_t limitUs) {
        if (done()) {
            return true;
        }
        bool timedOut = false;
        pa_time_event* timer = pa_context_rttime_new(
            context_, pa_rtclock_now() + limitUs,
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* flag) {
                *static_cast<bool*>(flag) = true;
                pa_threaded_mainloop_signal(instance().loop(), 0);
            },
            &timedOut);
        bool finished = false;
        while (!(finished = done()) && !timedOut) {
            pa_threaded_mainloop_wait(loop_);
        }
        if (timer != nullptr) {
            pa_threaded_mainloop_get_api(loop_)->time_free(timer);
        }
        return finished;
    }

    // With the loop locked: a ready context, or nullptr when no server answers.
    pa_context* readyContext() {
        if (context_ != nullptr) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) {
                return context_;
            }
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Lumivox");
        if (context_ == nullptr) {
            return nullptr;
        }
        pa_context_set_state_callback(
            context_, [](pa_context*, void* loop) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
            },
            loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return nullptr;
        }
        const bool settled = waitFor(
            [this] {
                const pa_context_state_t state = pa_context_get_state(context_);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            },
            kOpenLimitUs);
        if (settled && pa_context_get_state(context_) == PA_CONTEXT_READY) {
            return context_;
        }
        // No answer in time, or refused: the next open starts afresh.
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
        return nullptr;
    }

private:
    PulseConnection() {
        loop_ = pa_threaded_mainloop_new();
        pa_threaded_mainloop_set_name(loop_, "lumivox-sound");
        pa_threaded_mainloop_start(loop_);
        // This thread refills every stream within the 40 ms target latency; at
        // an ordinary priority a busy machine starves it into gaps.
        Locked lock(loop_);
        pa_threaded_mainloop_once_unlocked(
            loop_,
            [](pa_threaded_mainloop*, void*) { raiseSoundThreadPriority(); },
            nullptr);
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

std::optional<pa_sample_format_t> paFormat(SampleKind kind) {
    switch (kind) {
        case SampleKind::unsigned8: return PA_SAMPLE_U8;
        case SampleKind::signed16: return PA_SAMPLE_S16LE;
        case SampleKind::signed24: return PA_SAMPLE_S24LE;
        case SampleKind::signed32: return PA_SAMPLE_S32LE;
        case SampleKind::signed24In32: return PA_SAMPLE_S24_32LE;
        case SampleKind::float32: return PA_SAMPLE_FLOAT32LE;
        case SampleKind::msAdpcm: return PA_SAMPLE_S16LE;  // decoded here
    }
    return std::nullopt;
}

class PulseWaveOut final : public WaveOut {
public:
    PulseWaveOut(const WaveFormat& format, WaveOutDoneCallback callback, void* context)
        : format_(format), callback_(callback), context_(context) {
        if (format.kind == SampleKind::msAdpcm) {
            adpcm_.emplace(format);
        }
    }

    ~PulseWaveOut() override { close(); }

    void markFailed() {
        failed_ = true;
        wasReset_ = true;  // nothing to let finish
    }
    bool failed() const { return failed_; }

    // With the loop locked. False when the server refuses the stream.
    bool connect(pa_context* context, const pa_sample_spec& spec, const char* device) {
        pa_channel_map map;
        pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_WAVEEX);
        frameBytes_ = pa_frame_size(&spec);
        partialFrame_.reserve(frameBytes_);
        stream_ = pa_stream_new(context, "Lumivox sound", &spec, &map);
        if (stream_ == nullptr) {
            return false;
        }
        pa_stream_set_state_callback(stream_, &PulseWaveOut::onState, this);
        pa_stream_set_write_callback(stream_, &PulseWaveOut::onWritable, this);
        pa_stream_set_underflow_callback(stream_, &PulseWaveOut::onUnderflow, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &spec));
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = attr.tlength / 4;
        attr.fragsize = static_cast<std::uint32_t>(-1);
        if (pa_stream_connect_playback(stream_, device, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0) {
            return false;
        }
        PulseConnection::instance().waitFor(
            [this] {
                const pa_stream_state_t state = pa_stream_get_state(stream_);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            },
            kOpenLimitUs);
        return pa_stream_get_state(stream_) == PA_STREAM_READY;
    }

    bool write(WaveBuffer& buffer) override {
        if (!buffer.prepared || isQueued(buffer)) {
            return false;
        }
        // Only this thread queues a buffer, so it stays free until below.
        Pending pending{&buffer, {}, 0};
        if (adpcm_) {
            // Decoded before taking the process-wide lock, into storage a
            // finished buffer gave back, so no other stream waits for it.
            pending.converted = takeSpare();
            adpcm_->decode({buffer.data, buffer.length}, pending.converted);
        }
        Done done;
        {
            Locked lock(loop());
            if (stream_ == nullptr) {
                giveSpare(std::move(pending.converted));
                return false;
            }
            buffer.queued = true;
            queue_.push_back(std::move(pending));
            if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
                pump(pa_stream_writable_size(stream_), done);
            }
        }
        report(done);
        return true;
    }

    void pause() override {
        Locked lock(loop());
        if (stream_ != nullptr) {
            corked_ = true;
            unrefOperation(pa_stream_cork(stream_, 1, nullptr, nullptr));
        }
    }

    void restart() override {
        Locked lock(loop());
        if (stream_ != nullptr) {
            corked_ = false;
            unrefOperation(pa_stream_cork(stream_, 0, nullptr, nullptr));
        }
    }

    void reset() override {
        Done done;
        {
            Locked lock(loop());
            if (stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY) {
                unrefOperation(pa_stream_flush(stream_, nullptr, nullptr));
            }
            takeAll(done);
            if (adpcm_) {
                adpcm_->clear();
            }
            partialFrame_.clear();
            wasReset_ = true;
        }
        report(done);
    }

    void close() override {
        Done done;
        {
            Locked lock(loop());
            if (stream_ == nullptr) {
                return;
            }
            if (!queue_.empty()) {
                // Closed with buffers still queued: they come back as with `reset`.
                unrefOperation(pa_stream_flush(stream_, nullptr, nullptr));
                takeAll(done);
                wasReset_ = true;
            }
            if (!wasReset_ && !corked_ && pa_stream_get_state(stream_) == PA_STREAM_READY) {
                finishAdpcm();
                drain();
            }
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        report(done);
    }

private:
    struct Pending {
        WaveBuffer* buffer;
        std::vector<std::uint8_t> converted;  // decoded samples (ADPCM)
        std::size_t offset;
    };
    using Done = std::vector<WaveBuffer*>;

    static pa_threaded_mainloop* loop() { return PulseConnection::instance().loop(); }

    static void unrefOperation(pa_operation* operation) {
        if (operation != nullptr) {
            pa_operation_unref(operation);
        }
    }

    std::span<const std::uint8_t> bytesOf(const Pending& pending) const {
        if (adpcm_) {
            return pending.converted;
        }
        return {pending.buffer->data, pending.buffer->length};
    }

    // With the loop locked: hands the server up to `room` bytes of the queue,
    // whole frames only (the server refuses a write that ends inside a frame).
    // A buffer whose end splits a frame leaves those bytes in `partialFrame_`,
    // completed from the next buffer; at the end of the sound they are dropped.
    void pump(std::size_t room, Done& done) {
        if (room == static_cast<std::size_t>(-1)) {
            return;  // the stream failed
        }
        const std::size_t frame = frameBytes_;
        while (!queue_.empty()) {
            Pending& front = queue_.front();
            const auto bytes = bytesOf(front);
            if (!partialFrame_.empty()) {
                const std::size_t take =
                    std::min(frame - partialFrame_.size(), bytes.size() - front.offset);
                if (partialFrame_.size() + take == frame && room < frame) {
                    return;
                }
                partialFrame_.insert(partialFrame_.end(), bytes.begin() + front.offset,
                                     bytes.begin() + front.offset + take);
                front.offset += take;
                if (partialFrame_.size() == frame) {
                    if (pa_stream_write(stream_, partialFrame_.data(), frame, nullptr, 0,
                                        PA_SEEK_RELATIVE) < 0) {
                        return;
                    }
                    partialFrame_.clear();
                    room -= frame;
                }
            }
            const std::size_t left = bytes.size() - front.offset;
            const std::size_t chunk = std::min(room, left) / frame * frame;
            if (chunk > 0) {
                if (pa_stream_write(stream_, bytes.data() + front.offset, chunk, nullptr, 0,
                                    PA_SEEK_RELATIVE) < 0) {
                    return;
                }
                front.offset += chunk;
                room -= chunk;
            }
            const std::size_t rest = bytes.size() - front.offset;
            if (rest >= frame) {
                return;  // the server has no room for more now
            }
            partialFrame_.insert(partialFrame_.end(), bytes.begin() + front.offset, bytes.end());
            front.offset = bytes.size();
            front.buffer->queued = false;
            done.push_back(front.buffer);
            giveSpare(std::move(front.converted));
            queue_.pop_front();
        }
    }

    static bool isQueued(const WaveBuffer& buffer) {
        Locked lock(loop());
        return buffer.queued;
    }

    std::vector<std::uint8_t> takeSpare() {
        std::lock_guard lock(spareMutex_);
        if (spare_.empty()) {
            return {};
        }
        std::vector<std::uint8_t> storage = std::move(spare_.back());
        spare_.pop_back();
        storage.clear();
        return storage;
    }

    // Called with or without the loop lock; the spare lock is taken last.
    void giveSpare(std::vector<std::uint8_t>&& storage) {
        if (storage.capacity() == 0) {
            return;
        }
        std::lock_guard lock(spareMutex_);
        spare_.push_back(std::move(storage));
    }

    void takeAll(Done& done) {
        for (Pending& pending : queue_) {
            pending.buffer->queued = false;
            done.push_back(pending.buffer);
            giveSpare(std::move(pending.converted));
        }
        queue_.clear();
    }

    void report(const Done& done) {
        for (WaveBuffer* buffer : done) {
            callback_(context_, buffer);
        }
    }

    // With the loop locked, at close: the last partial ADPCM block plays too.
    void finishAdpcm() {
        if (!adpcm_) {
            return;
        }
        std::vector<std::uint8_t> pcm;
        adpcm_->finish(pcm);
        pcm.resize(pcm.size() / frameBytes_ * frameBytes_);
        if (!pcm.empty()) {
            pa_stream_write(stream_, pcm.data(), pcm.size(), nullptr, 0, PA_SEEK_RELATIVE);
        }
    }

    // With the loop locked: waits until the server has played what it took,
    // or a few seconds at most.
    void drain() {
        draining_ = true;
        bool finished = false;
        pa_operation* operation = pa_stream_drain(
            stream_, [](pa_stream*, int, void* flag) {
                *static_cast<bool*>(flag) = true;
                pa_threaded_mainloop_signal(loop(), 0);
            },
            &finished);
        if (operation == nullptr) {
            return;
        }
        bool timedOut = false;
        pa_time_event* timer = pa_context_rttime_new(
            PulseConnection::instance().context(), pa_rtclock_now() + kDrainLimitUs,
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* flag) {
                *static_cast<bool*>(flag) = true;
                pa_threaded_mainloop_signal(loop(), 0);
            },
            &timedOut);
        while (!finished && !timedOut && pa_operation_get_state(operation) == PA_OPERATION_RUNNING &&
               PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
            pa_threaded_mainloop_wait(loop());
        }
        if (timer != nullptr) {
            pa_threaded_mainloop_get_api(loop())->time_free(timer);
        }
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
            pa_operation_cancel(operation);
        }
        pa_operation_unref(operation);
    }

    // Main-loop thread callbacks.
    static void onState(pa_stream*, void*) { pa_threaded_mainloop_signal(loop(), 0); }

    static void onWritable(pa_stream*, std::size_t room, void* self) {
        auto* out = static_cast<PulseWaveOut*>(self);
        Done done;
        out->pump(room, done);
        // The owner's callback runs with the loop locked; it only counts and signals.
        out->report(done);
    }

    static void onUnderflow(pa_stream*, void* self) {
        auto* out = static_cast<PulseWaveOut*>(self);
        if (!out->draining_) {
            underruns.fetch_add(1, std::memory_order_relaxed);
        }
    }

    WaveFormat format_;
    WaveOutDoneCallback callback_;
    void* context_;
    std::optional<MsAdpcmDecoder> adpcm_;
    std::size_t frameBytes_ = 1;                 // bytes of one frame as the server takes it
    std::vector<std::uint8_t> partialFrame_;     // the start of a frame split by a buffer's end
    std::mutex spareMutex_;                      // guards spare_
    std::vector<std::vector<std::uint8_t>> spare_;  // decoding storage given back
    pa_stream* stream_ = nullptr;
    std::deque<Pending> queue_;
    bool corked_ = false;
    bool wasReset_ = false;
    bool draining_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<WaveOut> openWaveOut(std::span<const std::uint8_t> formatBody,
                                     WaveOutDoneCallback callback, void* context) {
    return openWaveOutOn({}, formatBody, callback, context);
}

std::unique_ptr<WaveOut> openWaveOutOn(const std::string& device,
                                       std::span<const std::uint8_t> formatBody,
                                       WaveOutDoneCallback callback, void* context) {
    const std::optional<WaveFormat> format = readWaveFormat(formatBody);
    if (!format || callback == nullptr) {
        return nullptr;
    }
    const std::optional<pa_sample_format_t> sampleFormat = paFormat(format->kind);
    pa_sample_spec spec;
    spec.format = *sampleFormat;
    spec.rate = format->samplesPerSecond;
    spec.channels = static_cast<std::uint8_t>(format->channels);
    if (!pa_sample_spec_valid(&spec)) {
        return nullptr;
    }
    PulseConnection& connection = PulseConnection::instance();
    auto out = std::make_unique<PulseWaveOut>(*format, callback, context);
    {
        Locked lock(connection.loop());
        pa_context* pulse = connection.readyContext();
        if (pulse == nullptr || !out->connect(pulse, spec, device.empty() ? nullptr : device.c_str())) {
            // The stream (if any) is released by the destructor's close.
            out->markFailed();
        }
    }
    if (out->failed()) {
        return nullptr;
    }
    return out;
}

void raiseSoundThreadPriority() {
    sched_param param{};
    param.sched_priority = kSoundThreadPriority;
    // Refused without the right (no CAP_SYS_NICE, RLIMIT_RTPRIO too low): then
    // the thread keeps its ordinary priority.
    pthread_setschedparam(pthread_self(), SCHED_RR | SCHED_RESET_ON_FORK, &param);
}

std::uint64_t waveOutUnderrunCount() { return underruns.load(std::memory_order_relaxed); }

}  // namespace lumivox::platform
