// The General MIDI synthesizer on FluidSynth with the Debian default GM sound
// font (TimGM6mb, 6 MB: small enough to load on demand, complete enough for
// the 128 GM programs and the drum kit).
#include <fluidsynth.h>

#include <filesystem>
#include <mutex>

#include "platform/MidiSynth.hpp"

namespace lumivox::platform {
namespace {

constexpr const char* kSoundFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};

class FluidMidiSynth final : public MidiSynth {
public:
    ~FluidMidiSynth() override {
        if (synth_ != nullptr) {
            delete_fluid_synth(synth_);
        }
        if (settings_ != nullptr) {
            delete_fluid_settings(settings_);
        }
    }

    bool open(std::uint32_t sampleRate) {
        settings_ = new_fluid_settings();
        if (settings_ == nullptr) {
            return false;
        }
        fluid_settings_setnum(settings_, "synth.sample-rate", sampleRate);
        fluid_settings_setint(settings_, "synth.threadsafe-api", 0);
        synth_ = new_fluid_synth(settings_);
        if (synth_ == nullptr) {
            return false;
        }
        for (const char* path : kSoundFonts) {
            std::error_code error;
            if (std::filesystem::exists(path, error) &&
                fluid_synth_sfload(synth_, path, 1) != FLUID_FAILED) {
                return true;
            }
        }
        return false;
    }

    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
        const int channel = status & 0x0F;
        switch (status & 0xF0) {
            case 0x80: fluid_synth_noteoff(synth_, channel, data1); break;
            case 0x90:
                if (data2 == 0) {
                    fluid_synth_noteoff(synth_, channel, data1);
                } else {
                    fluid_synth_noteon(synth_, channel, data1, data2);
                }
                break;
            case 0xA0: fluid_synth_key_pressure(synth_, channel, data1, data2); break;
            case 0xB0: fluid_synth_cc(synth_, channel, data1, data2); break;
            case 0xC0: fluid_synth_program_change(synth_, channel, data1); break;
            case 0xD0: fluid_synth_channel_pressure(synth_, channel, data1); break;
            case 0xE0: fluid_synth_pitch_bend(synth_, channel, data1 | (data2 << 7)); break;
            default: break;
        }
    }

    void sendSystemExclusive(std::span<const std::uint8_t> body) override {
        if (!body.empty()) {
            fluid_synth_sysex(synth_, reinterpret_cast<const char*>(body.data()),
                              static_cast<int>(body.size()), nullptr, nullptr, nullptr, 0);
        }
    }

    void reset() override {
        fluid_synth_all_sounds_off(synth_, -1);
        fluid_synth_system_reset(synth_);
    }

    void render(std::int16_t* stereo, std::size_t frames) override {
        fluid_synth_write_s16(synth_, static_cast<int>(frames), stereo, 0, 2, stereo, 1, 2);
    }

private:
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
};

void silenceFluidLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
            fluid_set_log_function(level, nullptr, nullptr);
        }
    });
}

}  // namespace

std::unique_ptr<MidiSynth> openMidiSynth(std::uint32_t sampleRate) {
    silenceFluidLog();
    auto synth = std::make_unique<FluidMidiSynth>();
    if (!synth->open(sampleRate)) {
        return nullptr;
    }
    return synth;
}

}  // namespace lumivox::platform
