// Speech from espeak-ng, synthesised at its own 22,050 Hz and brought to the
// effect's rate. espeak-ng keeps global state, so one call at a time.
#include <espeak-ng/speak_lib.h>

#include <mutex>
#include <stdexcept>

#include "tools/effects/Recipes.hpp"

namespace effects {
namespace {

std::mutex speechMutex;
std::vector<short>* speechSink = nullptr;

int collect(short* samples, int count, espeak_EVENT*) {
    if (samples != nullptr && count > 0) {
        speechSink->insert(speechSink->end(), samples, samples + count);
    }
    return 0;
}

int speechRate() {
    static const int rate = [] {
        const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
        if (r <= 0) {
            throw std::runtime_error("espeak-ng cannot start");
        }
        espeak_SetSynthCallback(collect);
        return r;
    }();
    return rate;
}

std::vector<short> synthesise(const std::string& text, const char* voiceName, int pitch,
                              int wordsPerMinute) {
    std::vector<short> samples;
    speechSink = &samples;
    if (espeak_SetVoiceByName(voiceName) != EE_OK) {
        throw std::runtime_error(std::string("espeak-ng has no voice ") + voiceName);
    }
    espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
    espeak_SetParameter(espeakPITCH, pitch, 0);
    espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                 nullptr);
    espeak_Synchronize();
    speechSink = nullptr;
    return samples;
}

}  // namespace

Signal speak(const std::string& text, const char* voiceName, int pitch, double rate,
             double maxSeconds) {
    std::vector<short> samples;
    int sourceRate = 0;
    {
        std::lock_guard lock(speechMutex);
        sourceRate = speechRate();
        // Faster until it fits.
        for (int wpm = 160; wpm <= 500; wpm += 20) {
            samples = synthesise(text, voiceName, pitch, wpm);
            if (static_cast<double>(samples.size()) / sourceRate <= maxSeconds) {
                break;
            }
        }
    }
    Signal source(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        source[i] = static_cast<float>(samples[i] / 32768.0);
    }
    const double step = sourceRate / rate;
    Signal out(static_cast<std::size_t>(
        std::min(maxSeconds, static_cast<double>(source.size()) / sourceRate) * rate));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = sampleAt(source, static_cast<double>(i) * step);
    }
    if (rate > sourceRate) {
        // The images that interpolation leaves above the source's band.
        out = filtered(std::move(out), Biquad::Kind::lowpass, rate, sourceRate * 0.45, 0.7, 2);
    }
    return out;
}

}  // namespace effects
