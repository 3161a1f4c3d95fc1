// Who hears a sound, on PulseAudio (or PipeWire's PulseAudio server). Every
// sound of the program goes through one mix (SoundMixer). The virtual
// microphone is three modules the program loads only while the host wants it:
// a null sink the mix plays into, a source remapped from that sink's monitor
// (a real source: browsers hide monitors) described as "Lumivox 麦克风", and a
// loopback from the host's real microphone into the same sink. They are
// unloaded when the host switches it off and at the program's end; modules a
// killed copy left behind are found by their names and unloaded at the next
// start, so there is never more than one such microphone.
//
// Threads: the GUI thread sets the route and reads the device lists (copies
// under `mutex_`, never a wait for the server); one worker thread talks to the
// server (its own connection in a threaded main loop), woken by a route change
// or by the server's events (a device added or removed, the default changed).
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "base/ProgramEnd.hpp"
#include "platform/SoundRouting.hpp"
#include "platform/linux/SoundMixer.hpp"

namespace lumivox::platform {
namespace {

constexpr const char* kMicSink = "lumivox_mic_sink";
constexpr const char* kMicSource = "lumivox_mic";
// What marks our modules in the server's list (their arguments name it).
constexpr std::string_view kMarker = "lumivox_mic";
constexpr pa_usec_t kAnswerLimitUs = 3 * 1000 * 1000;

struct ServerView {
    std::string defaultSink, defaultSource;
    std::vector<SoundDevice> sinks, sources;  // without monitors and our own
    std::vector<std::pair<std::uint32_t, std::string>> ourModules;  // index, name
};

// A description with spaces, quoted so that PulseAudio and PipeWire's
// PulseAudio server both read it whole (measured: a backslash before the space
// works on PulseAudio only, PipeWire keeps the backslash).
std::string describedAs(const std::string& description) {
    return "\"device.description='" + description + "'\"";
}

bool isOurs(std::string_view name) { return name.find(kMarker) != std::string_view::npos; }

bool hasDevice(const std::vector<SoundDevice>& devices, const std::string& name) {
    for (const SoundDevice& device : devices) {
        if (device.name == name) {
            return true;
        }
    }
    return false;
}

class SoundRouter {
public:
    static SoundRouter& instance() {
        // Never destroyed: engines may open devices until the very end; the
        // program-end routine stops the worker and gives back the modules.
        static SoundRouter* router = new SoundRouter;
        return *router;
    }

    void setRoute(const SoundRoute& route) {
        {
            std::lock_guard lock(mutex_);
            route_ = route;
            dirty_ = true;
            startLocked();
        }
        changed_.notify_all();
        mixer_.setVolumes(route.effectsVolume, route.songsVolume);
        mixer_.destinationsChanged();
    }

    SoundRoute route() const {
        std::lock_guard lock(mutex_);
        return route_;
    }

    std::vector<SoundDevice> outputs() const {
        std::lock_guard lock(mutex_);
        return view_.sinks;
    }
    std::vector<SoundDevice> inputs() const {
        std::lock_guard lock(mutex_);
        return view_.sources;
    }

    std::unique_ptr<WaveOut> open(std::span<const std::uint8_t> format,
                                  WaveOutDoneCallback callback, void* context, SoundKind kind) {
        return mixer_.open(format, callback, context, kind);
    }

private:
    SoundRouter()
        : mixer_([this] { return destinations(); },
                 [](const std::string& device, std::span<const std::uint8_t> format,
                    WaveOutDoneCallback callback,
                    void* context) { return openWaveOutOn(device, format, callback, context); }) {
        mixer_.setVolumes(route_.effectsVolume, route_.songsVolume);
        addProgramEndRoutine([this] { end(); });
    }

    // Mixer thread: where its outputs go now.
    MixDestinations destinations() {
        std::lock_guard lock(mutex_);
        MixDestinations to;
        to.hostEffects = to.hostSongs = route_.monitor;
        to.hostDevice = hostDeviceLocked();
        to.viewersEffects = route_.effectsToMicrophone;
        to.viewersSongs = route_.songsToMicrophone;
        to.viewersDevice = micLoaded_ ? kMicSink : "";
        return to;
    }

    // The host's device: the one chosen while it is there; else the server's
    // default, unless that is our own sink (then any other), else the default.
    std::string hostDeviceLocked() const {
        if (!route_.monitorDevice.empty() && hasDevice(view_.sinks, route_.monitorDevice)) {
            return route_.monitorDevice;
        }
        if (!isOurs(view_.defaultSink)) {
            return {};
        }
        return view_.sinks.empty() ? std::string() : view_.sinks.front().name;
    }

    void startLocked() {
        if (!worker_.joinable() && !ended_) {
            worker_ = std::thread([this] { work(); });
        }
    }

    void end() {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
        if (worker_.joinable()) {
            worker_.join();
        }
        mixer_.shutdown();
    }

    // ---- the worker's connection ----
    template <typename Done>
    bool waitFor(Done done) {
        const pa_usec_t until = pa_rtclock_now() + kAnswerLimitUs;
        while (!done()) {
            if (pa_rtclock_now() >= until || context_ == nullptr ||
                !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
                return false;
            }
            pa_threaded_mainloop_wait(loop_);
        }
        return true;
    }

    // With the loop locked: waits for an operation to end (the callbacks signal).
    bool finish(pa_operation* operation) {
        if (operation == nullptr) {
            return false;
        }
        const bool ended =
            waitFor([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        if (!ended) {
            pa_operation_cancel(operation);
        }
        pa_operation_unref(operation);
        return ended;
    }

    static void signal(void* self) {
        pa_threaded_mainloop_signal(static_cast<SoundRouter*>(self)->loop_, 0);
    }

    void disconnect() {
        if (context_ != nullptr) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_set_subscribe_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    }

    // With the loop locked: a ready, subscribed connection, or false.
    bool connect() {
        if (context_ != nullptr && pa_context_get_state(context_) == PA_CONTEXT_READY) {
            return true;
        }
        disconnect();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Lumivox routing");
        if (context_ == nullptr) {
            return false;
        }
        pa_context_set_state_callback(
            context_, [](pa_context*, void* self) { signal(self); }, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            disconnect();
            return false;
        }
        if (!waitFor([&] { return pa_context_get_state(context_) == PA_CONTEXT_READY; })) {
            disconnect();
            return false;
        }
        pa_context_set_subscribe_callback(
            context_,
            [](pa_context*, pa_subscription_event_type_t, std::uint32_t, void* self) {
                // A device came or went, or a default changed: look again.
                auto* router = static_cast<SoundRouter*>(self);
                {
                    std::lock_guard lock(router->mutex_);
                    router->dirty_ = true;
                }
                router->changed_.notify_all();
            },
            this);
        finish(pa_context_subscribe(
            context_,
            static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                PA_SUBSCRIPTION_MASK_SOURCE |
                                                PA_SUBSCRIPTION_MASK_SERVER),
            [](pa_context*, int, void* self) { signal(self); }, this));
        return true;
    }

    // With the loop locked: what the server has now.
    std::optional<ServerView> look() {
        ServerView view;
        const bool ok =
            finish(pa_context_get_server_info(
                context_,
                [](pa_context*, const pa_server_info* info, void* data) {
                    auto* self = static_cast<std::pair<SoundRouter*, ServerView*>*>(data);
                    if (info != nullptr) {
                        self->second->defaultSink = info->default_sink_name ? info->default_sink_name : "";
                        self->second->defaultSource =
                            info->default_source_name ? info->default_source_name : "";
                    }
                    signal(self->first);
                },
                &pairOf(view))) &&
            finish(pa_context_get_sink_info_list(
                context_,
                [](pa_context*, const pa_sink_info* info, int eol, void* data) {
                    auto* self = static_cast<std::pair<SoundRouter*, ServerView*>*>(data);
                    if (eol == 0 && info != nullptr && !isOurs(info->name)) {
                        self->second->sinks.push_back({info->name, info->description});
                    }
                    if (eol != 0) {
                        signal(self->first);
                    }
                },
                &pairOf(view))) &&
            finish(pa_context_get_source_info_list(
                context_,
                [](pa_context*, const pa_source_info* info, int eol, void* data) {
                    auto* self = static_cast<std::pair<SoundRouter*, ServerView*>*>(data);
                    if (eol == 0 && info != nullptr && info->monitor_of_sink == PA_INVALID_INDEX &&
                        !isOurs(info->name)) {
                        self->second->sources.push_back({info->name, info->description});
                    }
                    if (eol != 0) {
                        signal(self->first);
                    }
                },
                &pairOf(view))) &&
            finish(pa_context_get_module_info_list(
                context_,
                [](pa_context*, const pa_module_info* info, int eol, void* data) {
                    auto* self = static_cast<std::pair<SoundRouter*, ServerView*>*>(data);
                    if (eol == 0 && info != nullptr && info->argument != nullptr &&
                        isOurs(info->argument)) {
                        self->second->ourModules.push_back({info->index, info->name});
                    }
                    if (eol != 0) {
                        signal(self->first);
                    }
                },
                &pairOf(view)));
        if (!ok) {
            return std::nullopt;
        }
        return view;
    }

    std::pair<SoundRouter*, ServerView*>& pairOf(ServerView& view) {
        lookPair_ = {this, &view};
        return lookPair_;
    }

    // With the loop locked: the module's index, or PA_INVALID_INDEX.
    std::uint32_t load(const char* name, const std::string& arguments) {
        std::pair<SoundRouter*, std::uint32_t> answer{this, PA_INVALID_INDEX};
        finish(pa_context_load_module(
            context_, name, arguments.c_str(),
            [](pa_context*, std::uint32_t index, void* data) {
                auto* got = static_cast<std::pair<SoundRouter*, std::uint32_t>*>(data);
                got->second = index;
                signal(got->first);
            },
            &answer));
        return answer.second;
    }

    void unload(std::uint32_t index) {
        if (index == PA_INVALID_INDEX) {
            return;
        }
        finish(pa_context_unload_module(
            context_, index, [](pa_context*, int, void* self) { signal(self); }, this));
    }

    // With the loop locked: everything of ours in the server is given back.
    void unloadAll(const ServerView* view) {
        unload(loopback_);
        unload(remap_);
        unload(nullSink_);
        loopback_ = remap_ = nullSink_ = PA_INVALID_INDEX;
        loopbackSource_.clear();
        if (view != nullptr) {
            // Left by a copy that was killed (or by us, if an unload failed).
            // Loopbacks first, the sink last, as they were loaded.
            for (const char* kind : {"module-loopback", "module-remap-source", "module-null-sink"}) {
                for (const auto& [index, name] : view->ourModules) {
                    if (name == kind) {
                        unload(index);
                    }
                }
            }
        }
    }

    // With the loop locked: the server made to match the route.
    void reconcile(const SoundRoute& route) {
        std::optional<ServerView> view = look();
        if (!view) {
            return;
        }
        const bool wanted = route.effectsToMicrophone || route.songsToMicrophone;
        if (!cleaned_ || !wanted) {
            unloadAll(&*view);  // a killed copy's leftovers, or switched off
            cleaned_ = true;
        }
        if (wanted && nullSink_ == PA_INVALID_INDEX) {
            nullSink_ = load("module-null-sink",
                             std::string("sink_name=") + kMicSink +
                                 " rate=44100 channels=2 sink_properties=" +
                                 describedAs("Lumivox 麦克风 混音"));
            remap_ = nullSink_ == PA_INVALID_INDEX
                         ? PA_INVALID_INDEX
                         : load("module-remap-source",
                                std::string("source_name=") + kMicSource + " master=" + kMicSink +
                                    ".monitor source_properties=" + describedAs("Lumivox 麦克风"));
        }
        if (wanted && nullSink_ != PA_INVALID_INDEX) {
            // The host's microphone: the chosen one while it is there, else the
            // default (followed when it changes), never our own.
            std::string source = route.microphone;
            if (source.empty() || !hasDevice(view->sources, source)) {
                source = view->defaultSource;
            }
            if (isOurs(source) || source.find(".monitor") != std::string::npos) {
                source = view->sources.empty() ? std::string() : view->sources.front().name;
            }
            if (source != loopbackSource_ || loopback_ == PA_INVALID_INDEX) {
                unload(loopback_);
                loopback_ = PA_INVALID_INDEX;
                loopbackSource_ = source;
                if (!source.empty()) {
                    loopback_ = load("module-loopback",
                                     "source=" + source + " sink=" + kMicSink +
                                         " latency_msec=30");
                }
            }
        }
        // The lists the window shows: the server as it is after the changes.
        std::lock_guard lock(mutex_);
        view_ = std::move(*view);
        micLoaded_ = nullSink_ != PA_INVALID_INDEX;
    }

    void work() {
        loop_ = pa_threaded_mainloop_new();
        pa_threaded_mainloop_start(loop_);
        for (;;) {
            SoundRoute route;
            bool ending;
            {
                std::unique_lock lock(mutex_);
                // Retried now and then while no server answers.
                changed_.wait_for(lock, std::chrono::seconds(context_ ? 3600 : 5),
                                  [&] { return dirty_ || ended_; });
                dirty_ = false;
                ending = ended_;
                route = route_;
            }
            {
                pa_threaded_mainloop_lock(loop_);
                if (ending) {
                    if (context_ != nullptr && pa_context_get_state(context_) == PA_CONTEXT_READY) {
                        unloadAll(nullptr);
                    }
                    disconnect();
                    pa_threaded_mainloop_unlock(loop_);
                    break;
                }
                if (connect()) {
                    reconcile(route);
                } else {
                    disconnect();
                }
                pa_threaded_mainloop_unlock(loop_);
            }
            // The mixer looks again at where its outputs go (a device may have
            // come back, the microphone's sink may now be there).
            mixer_.destinationsChanged();
        }
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }

    mutable std::mutex mutex_;  // guards route_, view_, micLoaded_, dirty_, ended_
    std::condition_variable changed_;
    SoundRoute route_;
    ServerView view_;
    bool micLoaded_ = false;
    bool dirty_ = false;
    bool ended_ = false;
    std::thread worker_;

    // The worker's (under the loop's lock).
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::pair<SoundRouter*, ServerView*> lookPair_{};
    std::uint32_t nullSink_ = PA_INVALID_INDEX, remap_ = PA_INVALID_INDEX,
                  loopback_ = PA_INVALID_INDEX;
    std::string loopbackSource_;
    bool cleaned_ = false;

    SoundMixer mixer_;  // last: its thread asks destinations() of the members above
};

}  // namespace

bool hasVirtualMicrophone() { return true; }

void setSoundRoute(const SoundRoute& route) { SoundRouter::instance().setRoute(route); }

SoundRoute soundRoute() { return SoundRouter::instance().route(); }

std::unique_ptr<WaveOut> openRoutedWaveOut(std::span<const std::uint8_t> format,
                                           WaveOutDoneCallback callback, void* context,
                                           SoundKind kind) {
    return SoundRouter::instance().open(format, callback, context, kind);
}

std::vector<SoundDevice> soundOutputDevices() { return SoundRouter::instance().outputs(); }

std::vector<SoundDevice> soundInputDevices() { return SoundRouter::instance().inputs(); }

}  // namespace lumivox::platform
