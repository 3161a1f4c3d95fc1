// Tones: telephone and alarm signals, bells, a gong, drums, chimes, music and
// the spoken effects.
#include <algorithm>

#include "tools/effects/Recipes.hpp"

namespace effects {
namespace {

// A tone of harmonics (amplitude of harmonic k+1 at index k) at pitch(t).
Signal tone(double length, double rate, const std::function<double(double)>& pitch,
            const std::vector<double>& harmonics, const std::function<double(double)>& amp) {
    Signal s(static_cast<std::size_t>(length * rate));
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f = pitch(t);
        phase += f / rate;
        phase -= std::floor(phase);
        double y = 0;
        for (std::size_t k = 0; k < harmonics.size(); ++k) {
            if (f * static_cast<double>(k + 1) < rate * 0.45) {
                y += harmonics[k] * std::sin(2 * kPi * phase * static_cast<double>(k + 1));
            }
        }
        s[i] = static_cast<float>(y * amp(t));
    }
    return s;
}

Signal chime(double rate, Random& random, double freq, double tau) {
    return modal({{freq, 1, tau},
                  {freq * 2.0, 0.4, tau * 0.5},
                  {freq * 3.01, 0.2, tau * 0.3},
                  {freq * 4.2, 0.1, tau * 0.2}},
                 tau * 5, rate, random, 0.05);
}

// A brass-like chord: detuned saw-ish voices, softened by a low-pass.
Signal brassChord(double rate, const std::vector<double>& notes, double length) {
    Signal sum(static_cast<std::size_t>(length * rate), 0.0f);
    const std::vector<double> harmonics = {1, 0.6, 0.45, 0.35, 0.25, 0.18, 0.12, 0.08};
    for (double note : notes) {
        for (double detune : {0.997, 1.003}) {
            Signal v = tone(
                length, rate,
                [note, detune](double t) {
                    return note * detune * (1 + 0.004 * std::sin(2 * kPi * 5 * t));
                },
                harmonics, [length](double t) { return swell(t, length, 0.03, length * 0.3); });
            mixInto(sum, v, rate, 0, 0.2);
        }
    }
    return filtered(sum, Biquad::Kind::lowpass, rate, 3000, 0.7);
}

Signal timpani(double rate, Random& random, double freq) {
    return modal(
        {{freq, 1, 0.6}, {freq * 1.5, 0.6, 0.5}, {freq * 1.98, 0.4, 0.4}, {freq * 2.44, 0.25, 0.3}},
        1.5, rate, random, 0.3);
}

// Telephone band: what a voice on a hotline sounds like.
Signal telephoneBand(Signal s, double rate) {
    s = filtered(std::move(s), Biquad::Kind::highpass, rate, 320, 0.7, 2);
    return filtered(std::move(s), Biquad::Kind::lowpass, rate, 3400, 0.7, 2);
}

}  // namespace

void messageBlip(Take& take, Random& random) {
    take.add(chime(take.rate, random, 1320, 0.05), 0.02, 0.9);
    take.add(chime(take.rate, random, 1320, 0.05), 0.16, 0.9);
    take.add(chime(take.rate, random, 1760, 0.08), 0.30, 0.8);
}

void promptChime(Take& take, Random& random) {
    take.add(chime(take.rate, random, 1047, 0.18), 0.01, 0.7);
    take.add(chime(take.rate, random, 1319, 0.18), 0.13, 0.7);
    take.add(chime(take.rate, random, 1568, 0.25), 0.25, 0.8);
}

void djScratch(Take& take, Random& random) {
    // A record holding a vocal "ahh" and a hit, moved back and forth under the
    // hand while the cross-fader cuts it in and out, over a steady beat.
    const double rate = take.rate;
    Signal record = silence(1.2, rate);
    VoiceSpec ahh;
    ahh.length = 0.7;
    ahh.pitch = [](double t) { return 190 - 30 * t; };
    ahh.vowel = [](double) { return kA; };
    ahh.amp = [](double t) { return swell(t, 0.7, 0.01, 0.3); };
    ahh.rough = 0.1;
    mixInto(record, voice(ahh, rate, random), rate, 0.2, 1.0);
    mixInto(record, modal({{60, 1, 0.1}, {120, 0.4, 0.05}}, 0.3, rate, random, 0.4), rate, 0.2,
            0.7);
    Signal hand(take.left.size());
    double position = 0.2 * rate;
    std::vector<double> speeds;
    for (int k = 0; k < 64; ++k) {
        speeds.push_back(random.range(2.0, 6.0));
    }
    for (std::size_t i = 0; i < hand.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double bar = std::fmod(t, 0.63) / 0.63;
        const double speed = speeds[static_cast<std::size_t>(t / 0.63) % speeds.size()];
        const double velocity = 2.2 * std::sin(2 * kPi * speed * t);
        position = std::clamp(position + velocity, 0.0, static_cast<double>(record.size() - 2));
        const double fader = std::fmod(t * speed * 2, 1.0) < 0.7 || bar < 0.5 ? 1.0 : 0.0;
        hand[i] = static_cast<float>(sampleAt(record, position) * fader);
    }
    hand = filtered(hand, Biquad::Kind::lowpass, rate, 7000, 0.7);
    take.add(hand, 0, 0.9, 0.1);
    for (double at = 0.0; at < take.seconds() - 0.2; at += 0.63) {
        take.add(modal({{55, 1, 0.12}, {90, 0.5, 0.06}}, 0.3, rate, random, 0.3), at, 0.6);
        Signal hat = filtered(whiteNoise(random, static_cast<std::size_t>(0.05 * rate)),
                              Biquad::Kind::highpass, rate, 7000, 0.7);
        shape(hat, rate, [](double t) { return strike(t, 0.001, 0.01); });
        take.add(hat, at + 0.315, 0.25, 0.3);
    }
}

void busyTone(Take& take, Random&) {
    // 450 Hz, 0.35 s on and 0.35 s off.
    take.add(tone(
                 0.35, take.rate, [](double) { return 450; }, {1, 0.05},
                 [](double t) { return swell(t, 0.35, 0.005, 0.005); }),
             0.0, 0.7);
}

void lightOnSting(Take& take, Random& random) {
    // A rising whoosh into a bright, sparkling major chord.
    const double rate = take.rate;
    Signal whoosh = whiteNoise(random, static_cast<std::size_t>(0.7 * rate));
    Biquad sweep;
    for (std::size_t i = 0; i < whoosh.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        if (i % 32 == 0) {
            sweep.set(Biquad::Kind::bandpass, rate, 300 * std::pow(25.0, t / 0.7), 2);
        }
        whoosh[i] = sweep(whoosh[i]) * static_cast<float>(t / 0.7);
    }
    take.add(whoosh, 0.0, 0.6);
    const double notes[] = {523.25, 659.25, 783.99, 1046.5, 1318.5, 1568.0, 2093.0};
    for (double note : notes) {
        take.addWithRoom(chime(rate, random, note, 0.8), 0.7, 0.25, random.range(-0.5, 0.5), 2.5,
                         0.5);
    }
    take.add(brassChord(rate, {261.63, 329.63, 392.0, 523.25}, 3.5), 0.7, 0.5);
    for (int k = 0; k < 24; ++k) {
        take.add(chime(rate, random, notes[k % 7] * 2, 0.15), 0.8 + k * 0.12, 0.12,
                 random.range(-0.9, 0.9));
    }
}

void drums(Take& take, Random& random) {
    // A big drum: "dong, dong, DONG".
    for (double at : {0.02, 0.36, 0.70}) {
        const double gain = at > 0.6 ? 1.0 : 0.7;
        std::vector<Partial> membrane;
        for (double ratio : {1.0, 1.59, 2.14, 2.30, 2.65, 2.92}) {
            membrane.push_back({85 * ratio, 1 / ratio, 0.35 / ratio});
        }
        take.addWithRoom(modal(membrane, 0.6, take.rate, random, 0.25), at, gain, 0, 1.5, 0.3);
    }
}

void hotlineSpeech(Take& take, Random& random) {
    take.add(tone(
                 0.25, take.rate, [](double) { return 1000; }, {1},
                 [](double t) { return swell(t, 0.25, 0.01, 0.01); }),
             0.1, 0.3);
    const Signal words = speak(
        "欢迎致电精神病热线。如果您有强迫症，请反复按一。如果您有依赖症，请找人帮您按二。"
        "如果您有多重人格，请按三、四、五。如果您有妄想症，请耐心等待，外星人会为您接通。",
        "cmn", 45, take.rate, take.seconds() - 0.7);
    take.add(telephoneBand(words, take.rate), 0.55, 1.0);
    (void)random;
}

void ambulance(Take& take, Random&) {
    // Two tones, high and low, each about 0.45 s.
    const double rate = take.rate;
    Signal s = tone(
        take.seconds(), rate, [](double t) { return std::fmod(t, 0.9) < 0.45 ? 960 : 770; },
        {1, 0, 0.33, 0, 0.2, 0, 0.1},
        [len = take.seconds()](double t) { return swell(t, len, 0.02, 0.05); });
    s = filtered(s, Biquad::Kind::bandpass, rate, 1400, 0.5);
    take.add(s, 0, 1.0, -0.1);
}

void gong(Take& take, Random& random) {
    std::vector<Partial> partials;
    const double ratios[] = {1.0, 1.47, 1.98, 2.53, 2.99, 3.56, 4.11, 4.72, 5.38, 6.1, 7.3};
    for (double ratio : ratios) {
        partials.push_back({150 * ratio * random.range(0.99, 1.01), 1 / std::sqrt(ratio),
                            3.0 / std::pow(ratio, 0.6)});
    }
    take.addWithRoom(modal(partials, take.seconds(), take.rate, random, 0.2), 0.03, 1.0, 0, 2.5,
                     0.35);
}

void bell(Take& take, Random& random) {
    // A temple bell: hum, prime, minor third, fifth and nominal, with a slow beat.
    const std::vector<Partial> partials = {{196, 1, 2.5},   {197.5, 0.6, 2.5}, {392, 0.8, 1.6},
                                           {466, 0.5, 1.2}, {588, 0.4, 1.0},   {784, 0.5, 0.8},
                                           {988, 0.2, 0.5}, {1290, 0.15, 0.35}};
    take.addWithRoom(modal(partials, take.seconds(), take.rate, random, 0.3), 0.02, 1.0, 0, 2.0,
                     0.3);
}

void heartbeat(Take& take, Random& random) {
    for (double at = 0.05; at < take.seconds() - 0.3; at += 0.83) {
        for (auto [offset, gain] : {std::pair{0.0, 1.0}, std::pair{0.28, 0.7}}) {
            Signal thump =
                modal({{48, 1, 0.06}, {75, 0.6, 0.04}, {110, 0.2, 0.03}}, 0.3, take.rate, random);
            take.add(filtered(thump, Biquad::Kind::lowpass, take.rate, 160, 0.7), at + offset,
                     gain);
        }
    }
}

void newsOpening(Take& take, Random& random) {
    // A fanfare with timpani, then the announcer over a fading bed.
    const double rate = take.rate;
    struct Hit {
        double at, length;
        std::vector<double> notes;
    };
    const Hit hits[] = {{0.2, 0.22, {261.63, 329.63, 392.0}},
                        {0.45, 0.22, {261.63, 329.63, 392.0}},
                        {0.7, 1.4, {261.63, 329.63, 392.0, 523.25}},
                        {2.2, 0.5, {293.66, 392.0, 493.88}},
                        {2.75, 0.9, {349.23, 440.0, 523.25}},
                        {3.7, 2.6, {261.63, 329.63, 392.0, 523.25, 659.25}}};
    for (const Hit& hit : hits) {
        take.addWithRoom(brassChord(rate, hit.notes, hit.length), hit.at, 0.6, 0, 2.0, 0.3);
    }
    for (double at : {0.7, 2.2, 3.7}) {
        take.add(timpani(rate, random, 65.4), at, 0.6);
    }
    take.add(brassChord(rate, {130.81, 196.0, 261.63}, take.seconds() - 6.3), 6.3, 0.08);
    const Signal words = speak(
        "观众朋友们，晚上好。今天是十二月十日，星期四。欢迎收看新闻联播节目。"
        "首先为您介绍这次节目的主要内容。",
        "cmn", 40, rate, take.seconds() - 7.3);
    take.add(words, 6.8, 1.0);
}

void countingInEnglish(Take& take, Random&) {
    take.add(speak("one, two, three, four, five", "en-us", 50, take.rate, take.seconds() - 0.1),
             0.05, 1.0);
}

void beDecentSpeech(Take& take, Random&) {
    take.add(speak("做人要厚道点！", "cmn", 55, take.rate, take.seconds() - 0.1), 0.05, 1.0);
}

void airRaidSiren(Take& take, Random&) {
    // A motor siren: winds up, wails up and down, and winds down.
    const double length = take.seconds();
    auto pitch = [length](double t) {
        const double up = std::min(1.0, t / 5.0);
        const double down = std::clamp((length - t) / 6.0, 0.0, 1.0);
        const double wail = 0.5 + 0.5 * std::sin(2 * kPi * (t - 5) / 8.0 - kPi / 2);
        return 120 + (380 + 200 * wail) * up * down;
    };
    const std::vector<double> harmonics = {1, 0.5, 0.3, 0.2, 0.12, 0.08};
    auto amp = [length](double t) { return swell(t, length, 1.5, 5.0); };
    take.add(tone(length, take.rate, pitch, harmonics, amp), 0, 0.6);
    take.add(
        tone(
            length, take.rate, [&pitch](double t) { return pitch(t) * 1.012; }, harmonics, amp),
        0, 0.4);
}

}  // namespace effects
