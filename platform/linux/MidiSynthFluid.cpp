// The General MIDI synthesizer on FluidSynth with the Debian default GM sound
// font (TimGM6mb, 6 MB: small enough to load on demand, complete enough for
// the 128 GM programs and the drum kit). The library (with SDL2, JACK, GLib,
// libsndfile and the rest it brings) is loaded when the first MIDI song plays,
// not at start: most sessions never play one. When it cannot be loaded, the
// host is told once on the standard error and MIDI songs stay silent.
#include <fluidsynth.h>

#include <filesystem>
#include <mutex>

#include "platform/MidiSynth.hpp"
#include "platform/linux/LibraryOnDemand.hpp"

namespace lumivox::platform {
namespace {

constexpr const char* kLibrary = "libfluidsynth.so.3";

#define LUMIVOX_FLUID_FUNCTIONS(X)                                                               \
    X(new_fluid_settings) X(delete_fluid_settings) X(fluid_settings_setnum)                     \
    X(fluid_settings_setint) X(new_fluid_synth) X(delete_fluid_synth) X(fluid_synth_sfload)     \
    X(fluid_synth_noteon) X(fluid_synth_noteoff) X(fluid_synth_key_pressure) X(fluid_synth_cc)  \
    X(fluid_synth_program_change) X(fluid_synth_channel_pressure) X(fluid_synth_pitch_bend)     \
    X(fluid_synth_sysex) X(fluid_synth_all_sounds_off) X(fluid_synth_system_reset)              \
    X(fluid_synth_write_s16) X(fluid_set_log_function)

// The library's entry points, found once per process; all null when it failed.
struct Fluid {
#define LUMIVOX_MEMBER(name) decltype(&::name) name = nullptr;
    LUMIVOX_FLUID_FUNCTIONS(LUMIVOX_MEMBER)
#undef LUMIVOX_MEMBER
    bool loaded = false;
};

// Loads the library on the first call (from the song's own thread); later
// calls give the same answer.
const Fluid& fluid() {
    static Fluid table;
    static std::once_flag once;
#define LUMIVOX_SLOT(name) {#name, reinterpret_cast<void**>(&table.name)},
    std::call_once(once, [] {
        table.loaded = openLibrary(kLibrary, {LUMIVOX_FLUID_FUNCTIONS(LUMIVOX_SLOT)},
                                   "MIDI songs stay silent",
                                   "Install FluidSynth (Debian: libfluidsynth3).");
        // FluidSynth prints its own warnings otherwise.
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
            if (table.loaded) {
                table.fluid_set_log_function(level, nullptr, nullptr);
            }
        }
    });
#undef LUMIVOX_SLOT
    return table;
}

constexpr const char* kSoundFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};

class FluidMidiSynth final : public MidiSynth {
public:
    ~FluidMidiSynth() override {
        if (synth_ != nullptr) {
            api_.delete_fluid_synth(synth_);
        }
        if (settings_ != nullptr) {
            api_.delete_fluid_settings(settings_);
        }
    }

    bool open(std::uint32_t sampleRate) {
        settings_ = api_.new_fluid_settings();
        if (settings_ == nullptr) {
            return false;
        }
        api_.fluid_settings_setnum(settings_, "synth.sample-rate", sampleRate);
        api_.fluid_settings_setint(settings_, "synth.threadsafe-api", 0);
        synth_ = api_.new_fluid_synth(settings_);
        if (synth_ == nullptr) {
            return false;
        }
        for (const char* path : kSoundFonts) {
            std::error_code error;
            if (std::filesystem::exists(path, error) &&
                api_.fluid_synth_sfload(synth_, path, 1) != FLUID_FAILED) {
                return true;
            }
        }
        return false;
    }

    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
        const int channel = status & 0x0F;
        switch (status & 0xF0) {
            case 0x80: api_.fluid_synth_noteoff(synth_, channel, data1); break;
            case 0x90:
                if (data2 == 0) {
                    api_.fluid_synth_noteoff(synth_, channel, data1);
                } else {
                    api_.fluid_synth_noteon(synth_, channel, data1, data2);
                }
                break;
            case 0xA0: api_.fluid_synth_key_pressure(synth_, channel, data1, data2); break;
            case 0xB0: api_.fluid_synth_cc(synth_, channel, data1, data2); break;
            case 0xC0: api_.fluid_synth_program_change(synth_, channel, data1); break;
            case 0xD0: api_.fluid_synth_channel_pressure(synth_, channel, data1); break;
            case 0xE0: api_.fluid_synth_pitch_bend(synth_, channel, data1 | (data2 << 7)); break;
            default: break;
        }
    }

    void sendSystemExclusive(std::span<const std::uint8_t> body) override {
        if (!body.empty()) {
            api_.fluid_synth_sysex(synth_, reinterpret_cast<const char*>(body.data()),
                              static_cast<int>(body.size()), nullptr, nullptr, nullptr, 0);
        }
    }

    void reset() override {
        api_.fluid_synth_all_sounds_off(synth_, -1);
        api_.fluid_synth_system_reset(synth_);
    }

    void render(std::int16_t* stereo, std::size_t frames) override {
        api_.fluid_synth_write_s16(synth_, static_cast<int>(frames), stereo, 0, 2, stereo, 1, 2);
    }

private:
    const Fluid& api_ = fluid();
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
};

}  // namespace

std::unique_ptr<MidiSynth> openMidiSynth(std::uint32_t sampleRate) {
    if (!fluid().loaded) {
        return nullptr;
    }
    auto synth = std::make_unique<FluidMidiSynth>();
    if (!synth->open(sampleRate)) {
        return nullptr;
    }
    return synth;
}

}  // namespace lumivox::platform
