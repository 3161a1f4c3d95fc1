// Voices of people and animals: formant voices with pitch contours, breath and
// roughness, shaped into syllables.
#include <algorithm>
#include <memory>

#include "tools/effects/Recipes.hpp"

namespace effects {
namespace {

// A train of `count` syllables of `period` seconds, each voiced for `duty` of it.
double syllables(double t, double period, double duty, int count) {
    if (t < 0 || t >= period * count) {
        return 0;
    }
    const double within = std::fmod(t, period) / (period * duty);
    if (within >= 1) {
        return 0;
    }
    return std::sin(kPi * std::pow(within, 0.6));
}

struct Laugh {
    double pitch = 200;    // Hz at the start
    double fall = 0.3;     // fraction the pitch falls over the laugh
    int count = 6;         // syllables
    double period = 0.18;  // seconds per syllable
    double duty = 0.6;
    Vowel vowel = kA;
    double breath = 0.25;
    double scale = 1.0;
    double rough = 0.05;
};

Signal laugh(const Laugh& l, double rate, Random& random) {
    auto steps = std::make_shared<std::vector<double>>();
    for (int i = 0; i < l.count + 1; ++i) {
        steps->push_back(1 + 0.08 * random.gauss());
    }
    VoiceSpec spec;
    spec.length = l.count * l.period + 0.05;
    spec.pitch = [l, steps](double t) {
        const auto k = static_cast<std::size_t>(std::clamp(t / l.period, 0.0, l.count * 1.0));
        const double within = std::fmod(t, l.period) / l.period;
        return l.pitch * (*steps)[k] * (1 - l.fall * t / (l.count * l.period)) *
               (1.08 - 0.16 * within);
    };
    spec.vowel = [l](double) { return l.vowel; };
    spec.amp = [l](double t) {
        return syllables(t, l.period, l.duty, l.count) * (1 - 0.4 * t / (l.count * l.period));
    };
    spec.breath = l.breath;
    spec.jitter = 0.02;
    spec.rough = l.rough;
    spec.scale = l.scale;
    return voice(spec, rate, random);
}

// A breath in or out: noise through a soft vowel shape.
Signal breath(double length, double rate, Random& random, double brightness) {
    Signal s = filtered(whiteNoise(random, static_cast<std::size_t>(length * rate)),
                        Biquad::Kind::bandpass, rate, brightness, 0.8);
    shape(s, rate, [length](double t) { return swell(t, length, length * 0.4, length * 0.5); });
    return s;
}

}  // namespace

void roosterCrow(Take& take, Random& random) {
    // "Cock-a-doodle-doo": three short rising notes and a long held one that falls.
    struct Note {
        double at, length, from, to;
    };
    const Note notes[] = {{0.15, 0.16, 520, 640},
                          {0.36, 0.14, 600, 700},
                          {0.55, 0.22, 680, 820},
                          {0.85, 1.20, 820, 560}};
    for (const Note& note : notes) {
        VoiceSpec spec;
        spec.length = note.length;
        spec.pitch = [note](double t) {
            const double x = t / note.length;
            return note.from + (note.to - note.from) * x * x + 30 * std::sin(2 * kPi * 7 * t);
        };
        spec.vowel = [note](double t) { return mixVowel(kO, kA, t / note.length * 1.6); };
        spec.amp = [note](double t) { return swell(t, note.length, 0.03, 0.08); };
        spec.scale = 1.35;
        spec.rough = 0.35;
        spec.jitter = 0.04;
        spec.breath = 0.15;
        take.addWithRoom(voice(spec, take.rate, random), note.at, 0.9, -0.1, 1.5, 0.25);
    }
}

void contemptJeer(Take& take, Random& random) {
    // A small crowd's scornful "qie~": a sharp "ch" and a long falling "ie".
    for (int person = 0; person < 5; ++person) {
        const double at = 0.1 + random.range(0, 0.12);
        const double pitch = random.range(150, 320);
        Signal ch = filtered(whiteNoise(random, static_cast<std::size_t>(0.09 * take.rate)),
                             Biquad::Kind::highpass, take.rate, 3500, 0.7);
        shape(ch, take.rate, [](double t) { return strike(t, 0.01, 0.03); });
        VoiceSpec spec;
        spec.length = random.range(1.8, 2.6);
        spec.pitch = [pitch, len = spec.length](double t) {
            return pitch * (1.25 - 0.55 * t / len) * (1 + 0.03 * std::sin(2 * kPi * 5 * t));
        };
        spec.vowel = [len = spec.length](double t) { return mixVowel(kI, kE, t / len * 2); };
        spec.amp = [len = spec.length](double t) { return swell(t, len, 0.05, len * 0.6); };
        spec.breath = 0.2;
        const double pan = random.range(-0.6, 0.6);
        take.add(ch, at, 0.3, pan);
        take.add(voice(spec, take.rate, random), at + 0.08, 0.5, pan);
    }
}

namespace {

Signal whipCrack(double rate, Random& random) {
    // A rising whoosh of the lash and the sharp crack of its tip.
    Signal whoosh = whiteNoise(random, static_cast<std::size_t>(0.25 * rate));
    Biquad sweep;
    for (std::size_t i = 0; i < whoosh.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        if (i % 32 == 0) {
            sweep.set(Biquad::Kind::bandpass, rate, 400 + 9000 * t * t / 0.0625, 1.5);
        }
        whoosh[i] = sweep(whoosh[i]) * static_cast<float>(std::pow(t / 0.25, 2));
    }
    Signal crack = filtered(whiteNoise(random, static_cast<std::size_t>(0.06 * rate)),
                            Biquad::Kind::highpass, rate, 1500, 0.7);
    shape(crack, rate, [](double t) { return strike(t, 0.0005, 0.008); });
    Signal out(whoosh.size() + crack.size(), 0.0f);
    mixInto(out, whoosh, rate, 0, 0.4);
    mixInto(out, crack, rate, 0.245, 1.0);
    return out;
}

Signal groan(double rate, Random& random, double pitch, double length) {
    VoiceSpec spec;
    spec.length = length;
    spec.pitch = [pitch, length](double t) {
        return pitch * (1.3 - 0.5 * t / length) * (1 + 0.04 * std::sin(2 * kPi * 6 * t));
    };
    spec.vowel = [length](double t) { return mixVowel(kA, kO, t / length); };
    spec.amp = [length](double t) { return swell(t, length, 0.03, length * 0.6); };
    spec.rough = 0.3;
    spec.breath = 0.2;
    spec.jitter = 0.03;
    return voice(spec, rate, random);
}

Signal punch(double rate, Random& random) {
    Signal thud = modal({{70, 1, 0.05}, {110, 0.6, 0.04}, {190, 0.3, 0.03}}, 0.25, rate, random);
    Signal slap = filtered(whiteNoise(random, static_cast<std::size_t>(0.05 * rate)),
                           Biquad::Kind::bandpass, rate, 1800, 0.8);
    shape(slap, rate, [](double t) { return strike(t, 0.001, 0.01); });
    mixInto(thud, slap, rate, 0, 1.2);
    return thud;
}

// The murmur and shouts of onlookers: many quiet voices changing vowels.
void crowdMurmur(Take& take, Random& random, int people, double gain) {
    for (int p = 0; p < people; ++p) {
        const double pitch = random.range(95, 260);
        const double rateOfSyllables = random.range(3, 6);
        const double phase = random.uniform();
        VoiceSpec spec;
        spec.length = take.seconds();
        spec.pitch = [pitch](double t) { return pitch * (1 + 0.12 * std::sin(2 * kPi * 0.7 * t)); };
        spec.vowel = [rateOfSyllables, phase](double t) {
            const double x = t * rateOfSyllables + phase;
            const Vowel cycle[] = {kA, kE, kO, kI, kU, kAh};
            const auto k = static_cast<std::size_t>(x) % 6;
            return mixVowel(cycle[k], cycle[(k + 1) % 6], std::fmod(x, 1.0));
        };
        spec.amp = [rateOfSyllables, phase](double t) {
            return 0.3 + 0.7 * std::pow(std::sin(kPi * (t * rateOfSyllables + phase)), 2);
        };
        spec.breath = 0.15;
        take.add(voice(spec, take.rate, random), 0, gain, random.range(-0.9, 0.9));
    }
}

}  // namespace

void whipAndGroans(Take& take, Random& random) {
    double at = 0.3;
    while (at < take.seconds() - 1.2) {
        take.add(whipCrack(take.rate, random), at, 1.0, random.range(-0.3, 0.3));
        const double length = random.range(0.5, 0.9);
        take.addWithRoom(groan(take.rate, random, random.range(120, 170), length), at + 0.35, 0.5,
                         0.1, 1.0, 0.2);
        at += random.range(1.4, 2.4);
    }
}

void burp(Take& take, Random& random) {
    VoiceSpec spec;
    spec.length = 0.5;
    spec.pitch = [](double t) { return 75 - 20 * t; };
    spec.vowel = [](double t) { return mixVowel(kO, kAh, t * 2); };
    spec.amp = [](double t) { return swell(t, 0.5, 0.02, 0.2) * (0.7 + 0.3 * std::sin(40 * t)); };
    spec.rough = 0.6;
    spec.jitter = 0.12;
    spec.breath = 0.05;
    take.add(voice(spec, take.rate, random), 0.03, 1.0);
}

void snore(Take& take, Random& random) {
    // Breathing in: the soft palate flutters (about 30 Hz) over a low voice.
    VoiceSpec spec;
    spec.length = 1.1;
    spec.pitch = [](double) { return 32; };
    spec.vowel = [](double) { return kAh; };
    spec.amp = [](double t) { return swell(t, 1.1, 0.4, 0.3); };
    spec.rough = 0.5;
    spec.jitter = 0.1;
    spec.breath = 0.4;
    spec.scale = 0.8;
    take.add(voice(spec, take.rate, random), 0.05, 1.0);
    take.add(breath(0.45, take.rate, random, 700), 1.2, 0.25);
}

void fightScene(Take& take, Random& random) {
    crowdMurmur(take, random, 10, 0.12);
    double at = 0.5;
    while (at < take.seconds() - 1.0) {
        const int blows = 1 + static_cast<int>(random.uniform() * 3);
        for (int b = 0; b < blows; ++b) {
            take.addWithRoom(punch(take.rate, random), at, 0.9, random.range(-0.5, 0.5), 1.2, 0.2);
            if (random.uniform() < 0.6) {
                take.add(groan(take.rate, random, random.range(110, 180), random.range(0.2, 0.5)),
                         at + 0.05, 0.45, random.range(-0.5, 0.5));
            }
            at += random.range(0.25, 0.5);
        }
        if (random.uniform() < 0.25) {
            // A chair or table goes over.
            Signal crash =
                modal({{180, 1, 0.12}, {410, 0.6, 0.1}, {950, 0.4, 0.08}, {2300, 0.3, 0.05}}, 0.6,
                      take.rate, random, 0.8);
            take.addWithRoom(crash, at, 0.7, random.range(-0.7, 0.7), 1.3, 0.3);
        }
        if (random.uniform() < 0.5) {
            // A shout from the onlookers.
            VoiceSpec shout;
            shout.length = random.range(0.4, 0.8);
            const double pitch = random.range(180, 320);
            shout.pitch = [pitch](double t) { return pitch * (1 + 0.3 * t); };
            shout.vowel = [](double t) { return mixVowel(kA, kE, t * 2); };
            shout.amp = [len = shout.length](double t) { return swell(t, len, 0.05, 0.2); };
            shout.rough = 0.2;
            take.add(voice(shout, take.rate, random), at, 0.35, random.range(-0.8, 0.8));
        }
        at += random.range(0.6, 1.6);
    }
}

void sneeze(Take& take, Random& random) {
    VoiceSpec in;
    in.length = 0.2;
    in.pitch = [](double t) { return 180 + 500 * t; };
    in.vowel = [](double) { return kA; };
    in.amp = [](double t) { return swell(t, 0.2, 0.1, 0.05); };
    in.breath = 0.5;
    take.add(voice(in, take.rate, random), 0.01, 0.5);
    Signal choo = filtered(whiteNoise(random, static_cast<std::size_t>(0.28 * take.rate)),
                           Biquad::Kind::bandpass, take.rate, 3000, 0.6);
    shape(choo, take.rate, [](double t) { return strike(t, 0.005, 0.07); });
    take.add(choo, 0.22, 1.0);
    VoiceSpec out;
    out.length = 0.22;
    out.pitch = [](double t) { return 260 - 200 * t; };
    out.vowel = [](double) { return kU; };
    out.amp = [](double t) { return strike(t, 0.01, 0.06); };
    out.breath = 0.4;
    take.add(voice(out, take.rate, random), 0.23, 0.6);
}

void fart(Take& take, Random& random) {
    VoiceSpec spec;
    spec.length = 0.72;
    spec.pitch = [](double t) { return 110 + 30 * std::sin(9 * t) - 40 * t; };
    spec.vowel = [](double) { return Vowel{300, 650, 1500, 2600}; };
    spec.amp = [](double t) {
        return swell(t, 0.72, 0.02, 0.15) * (0.6 + 0.4 * std::sin(2 * kPi * 11 * t));
    };
    spec.rough = 0.5;
    spec.jitter = 0.1;
    spec.breath = 0.1;
    spec.bandwidth = 2.0;
    take.add(filtered(voice(spec, take.rate, random), Biquad::Kind::lowpass, take.rate, 1200, 0.7),
             0.03, 1.0);
}

void dogBark(Take& take, Random& random) {
    VoiceSpec spec;
    spec.length = 0.22;
    spec.pitch = [](double t) { return 420 - 800 * t; };
    spec.vowel = [](double t) { return mixVowel(kA, kO, t * 4); };
    spec.amp = [](double t) { return strike(t, 0.008, 0.07); };
    spec.rough = 0.4;
    spec.breath = 0.35;
    spec.scale = 0.85;
    spec.jitter = 0.05;
    take.addWithRoom(voice(spec, take.rate, random), 0.01, 1.0, 0, 0.8, 0.15);
}

namespace {

Signal wail(double rate, Random& random, double length, double pitch, double swing, Vowel from,
            Vowel to) {
    VoiceSpec spec;
    spec.length = length;
    spec.pitch = [=](double t) {
        return pitch * (1 + swing * std::sin(kPi * t / length)) *
               (1 + 0.04 * std::sin(2 * kPi * 5.5 * t));
    };
    spec.vowel = [=](double t) { return mixVowel(from, to, t / length); };
    spec.amp = [=](double t) { return swell(t, length, length * 0.3, length * 0.5); };
    spec.breath = 0.3;
    spec.jitter = 0.02;
    return voice(spec, rate, random);
}

}  // namespace

void ghostMale(Take& take, Random& random) {
    take.addWithRoom(wail(take.rate, random, 0.5, 110, 0.35, kU, kO), 0.0, 0.8, 0, 2.5, 0.7);
}

void ghostFemale(Take& take, Random& random) {
    take.addWithRoom(wail(take.rate, random, 1.3, 480, 0.6, kI, kU), 0.0, 0.8, 0, 2.8, 0.8);
}

void yawn(Take& take, Random& random) {
    take.add(breath(0.8, take.rate, random, 900), 0.1, 0.3);
    VoiceSpec spec;
    spec.length = 3.2;
    spec.pitch = [](double t) {
        return t < 1.2 ? 180 + 140 * t / 1.2 : 320 - 200 * std::min(1.0, (t - 1.2) / 1.8);
    };
    spec.vowel = [](double t) { return mixVowel(kAh, kO, (t - 1.5) / 1.5); };
    spec.amp = [](double t) { return swell(t, 3.2, 0.6, 1.4); };
    spec.breath = 0.35;
    take.add(voice(spec, take.rate, random), 0.7, 1.0);
    take.add(breath(0.7, take.rate, random, 600), 3.95, 0.25);
}

namespace {

void clapCrowd(Take& take, Random& random, int people, double clapRate, double gain,
               std::function<double(double)> density) {
    for (int p = 0; p < people; ++p) {
        const double pan = random.range(-0.9, 0.9);
        const double centre = random.range(700, 2600);
        const double period = 1.0 / (clapRate * random.range(0.8, 1.25));
        double at = random.range(0, period);
        while (at < take.seconds()) {
            if (random.uniform() < density(at)) {
                Signal clap = whiteNoise(random, static_cast<std::size_t>(0.03 * take.rate));
                Biquad(Biquad::Kind::bandpass, take.rate, centre * random.range(0.9, 1.1), 1.8)
                    .run(clap);
                shape(clap, take.rate, [](double t) { return strike(t, 0.0008, 0.006); });
                take.add(clap, at, gain * random.range(0.6, 1.0), pan);
            }
            at += period * random.range(0.9, 1.1);
        }
    }
}

}  // namespace

void cheeringApplause(Take& take, Random& random) {
    const double length = take.seconds();
    auto density = [length](double t) { return swell(t, length, 0.3, 1.0); };
    clapCrowd(take, random, 35, 5, 0.35, density);
    for (int p = 0; p < 8; ++p) {
        // "Woo!" and "yeah!" calls rising above the clapping.
        const double at = random.range(0.2, length - 1.6);
        VoiceSpec cheer;
        cheer.length = random.range(0.6, 1.2);
        const double pitch = random.range(220, 480);
        cheer.pitch = [pitch, len = cheer.length](double t) {
            return pitch * (1 + 0.5 * std::sin(kPi * t / len));
        };
        const bool woo = random.uniform() < 0.5;
        cheer.vowel = [woo, len = cheer.length](double t) {
            return woo ? kU : mixVowel(kE, kA, t / len * 2);
        };
        cheer.amp = [len = cheer.length](double t) { return swell(t, len, 0.08, 0.3); };
        cheer.breath = 0.2;
        cheer.rough = 0.1;
        take.add(voice(cheer, take.rate, random), at, 0.18, random.range(-0.8, 0.8));
    }
}

void intenseApplause(Take& take, Random& random) {
    const double length = take.seconds();
    clapCrowd(take, random, 70, 6.5, 0.3,
              [length](double t) { return swell(t, length, 0.15, 0.8); });
}

void lightApplause(Take& take, Random& random) {
    const double length = take.seconds();
    clapCrowd(take, random, 7, 3.5, 0.6, [length](double t) { return swell(t, length, 0.4, 1.2); });
}

void manCoughing(Take& take, Random& random) {
    for (double at : {0.0, 0.24}) {
        Signal burst = filtered(whiteNoise(random, static_cast<std::size_t>(0.2 * take.rate)),
                                Biquad::Kind::bandpass, take.rate, 1200, 0.7);
        shape(burst, take.rate, [](double t) { return strike(t, 0.004, 0.05); });
        VoiceSpec spec;
        spec.length = 0.18;
        spec.pitch = [](double t) { return 140 - 150 * t; };
        spec.vowel = [](double) { return kAh; };
        spec.amp = [](double t) { return strike(t, 0.005, 0.05); };
        spec.rough = 0.5;
        spec.breath = 0.4;
        take.add(burst, at + 0.01, 0.6);
        take.add(voice(spec, take.rate, random), at + 0.01, 0.8);
    }
}

void scream(Take& take, Random& random) {
    double at = 0.2;
    for (double length : {2.4, 1.6, 3.2}) {
        VoiceSpec spec;
        spec.length = length;
        const double peak = random.range(950, 1200);
        spec.pitch = [peak, length](double t) {
            return peak * (0.75 + 0.25 * std::sin(kPi * std::min(1.0, t / length * 1.3))) *
                   (1 + 0.03 * std::sin(2 * kPi * 6.5 * t));
        };
        spec.vowel = [](double) { return kA; };
        spec.amp = [length](double t) { return swell(t, length, 0.08, length * 0.4); };
        spec.rough = 0.15;
        spec.breath = 0.15;
        spec.scale = 1.15;
        take.addWithRoom(voice(spec, take.rate, random), at, 0.9, 0, 1.2, 0.2);
        take.add(breath(0.4, take.rate, random, 1500), at + length + 0.05, 0.15);
        at += length + 0.6;
    }
}

void snickering(Take& take, Random& random) {
    double at = 0.1;
    for (int phrase = 0; phrase < 8 && at < take.seconds() - 0.7; ++phrase) {
        Laugh l;
        l.pitch = random.range(210, 260);
        l.count = 4 + phrase % 3;
        l.period = 0.13;
        l.duty = 0.45;
        l.vowel = kE;
        l.breath = 0.45;
        l.fall = 0.1;
        Signal s = laugh(l, take.rate, random);
        take.add(s, at, 0.9, -0.1);
        at += static_cast<double>(s.size()) / take.rate + random.range(0.25, 0.45);
    }
}

void womanMoaning(Take& take, Random& random) {
    double at = 0.3;
    while (at < take.seconds() - 2.0) {
        VoiceSpec spec;
        spec.length = random.range(1.2, 2.4);
        const double pitch = random.range(210, 290);
        const double rise = random.range(0.1, 0.3);
        spec.pitch = [pitch, rise, len = spec.length](double t) {
            return pitch * (1 + rise * std::sin(kPi * t / len)) * (1 - 0.15 * t / len);
        };
        const bool hum = random.uniform() < 0.5;
        spec.vowel = [hum, len = spec.length](double t) {
            return hum ? mixVowel(kM, kU, t / len) : mixVowel(kM, kAh, t / len * 2);
        };
        spec.amp = [len = spec.length](double t) { return swell(t, len, len * 0.3, len * 0.5); };
        spec.breath = 0.45;
        spec.scale = 1.12;
        take.add(voice(spec, take.rate, random), at, 0.8);
        at += spec.length + random.range(0.4, 0.9);
        take.add(breath(0.5, take.rate, random, 1100), at - 0.5, 0.15);
    }
}

namespace {

// The lips parting: a sharp click over a short suck of air.
Signal kiss(double rate, Random& random, double length) {
    Signal pop =
        modal({{1500, 1, 0.004}, {2600, 0.6, 0.003}, {700, 0.6, 0.006}}, length, rate, random, 0.5);
    Signal suck = filtered(whiteNoise(random, static_cast<std::size_t>(length * rate)),
                           Biquad::Kind::bandpass, rate, 2200, 1.5);
    shape(suck, rate, [length](double t) { return swell(t, length, length * 0.7, 0.01) * 0.3; });
    Signal out(suck.size() + pop.size(), 0.0f);
    mixInto(out, suck, rate, 0, 1.0);
    mixInto(out, pop, rate, length * 0.9, 1.0);
    return out;
}

}  // namespace

void kissQuick(Take& take, Random& random) {
    // Two quick pecks.
    take.addWithRoom(kiss(take.rate, random, 0.1), 0.02, 1.0, 0, 0.7, 0.2);
    take.addWithRoom(kiss(take.rate, random, 0.08), 0.26, 0.8, 0, 0.7, 0.2);
}

void kissFemale(Take& take, Random& random) {
    take.add(kiss(take.rate, random, 0.15), 0.1, 1.0);
    take.add(kiss(take.rate, random, 0.1), 0.55, 0.8);
    VoiceSpec hum;
    hum.length = 0.9;
    hum.pitch = [](double t) { return 260 + 80 * std::sin(kPi * t / 0.9); };
    hum.vowel = [](double) { return kM; };
    hum.amp = [](double t) { return swell(t, 0.9, 0.2, 0.5); };
    hum.breath = 0.3;
    hum.scale = 1.12;
    take.add(voice(hum, take.rate, random), 0.9, 0.5);
    take.add(kiss(take.rate, random, 0.2), 2.1, 1.0);
}

void crowdLaughter(Take& take, Random& random) {
    for (int person = 0; person < 16; ++person) {
        double at = random.range(0, 0.5);
        while (at < take.seconds() - 0.8) {
            Laugh l;
            l.pitch = random.range(110, 300);
            l.count = 3 + static_cast<int>(random.uniform() * 6);
            l.period = random.range(0.14, 0.22);
            l.vowel = random.uniform() < 0.7 ? kA : kE;
            l.scale = l.pitch > 190 ? 1.12 : 1.0;
            Signal s = laugh(l, take.rate, random);
            take.add(s, at, 0.25 * swell(at, take.seconds(), 0.3, 1.5), random.range(-0.9, 0.9));
            at += static_cast<double>(s.size()) / take.rate + random.range(0.1, 0.6);
        }
    }
}

void crowFlyingOver(Take& take, Random& random) {
    // Caws travel from left to right as the bird passes; wing beats under them.
    const double length = take.seconds();
    for (double at : {0.1, 0.55, 1.15}) {
        VoiceSpec spec;
        spec.length = 0.32;
        spec.pitch = [](double t) { return 560 - 300 * t; };
        spec.vowel = [](double t) { return mixVowel(kA, kAh, t * 3); };
        spec.amp = [](double t) { return swell(t, 0.32, 0.02, 0.15); };
        spec.rough = 0.8;
        spec.jitter = 0.1;
        spec.breath = 0.4;
        spec.scale = 1.25;
        const double pan = -0.9 + 1.8 * at / length;
        take.addWithRoom(voice(spec, take.rate, random), at, 0.9, pan, 2.0, 0.3);
    }
    for (double at = 0.0; at < length - 0.1; at += 0.22) {
        Signal flap = filtered(whiteNoise(random, static_cast<std::size_t>(0.1 * take.rate)),
                               Biquad::Kind::bandpass, take.rate, 500, 0.7);
        shape(flap, take.rate, [](double t) { return swell(t, 0.1, 0.04, 0.06); });
        take.add(flap, at, 0.25 * swell(at, length, 0.6, 0.8), -0.9 + 1.8 * at / length);
    }
}

void evilLaugh(Take& take, Random& random) {
    Laugh l;
    l.pitch = 115;
    l.count = 7;
    l.period = 0.22;
    l.duty = 0.7;
    l.vowel = kAh;
    l.breath = 0.2;
    l.fall = 0.35;
    l.rough = 0.25;
    l.scale = 0.9;
    take.addWithRoom(laugh(l, take.rate, random), 0.05, 0.9, 0, 2.2, 0.5);
}

void babyLaughter(Take& take, Random& random) {
    double at = 0.2;
    while (at < take.seconds() - 0.9) {
        Laugh l;
        l.pitch = random.range(380, 480);
        l.count = 3 + static_cast<int>(random.uniform() * 4);
        l.period = random.range(0.15, 0.2);
        l.vowel = kA;
        l.scale = 1.45;
        l.breath = 0.35;
        l.fall = -0.1;
        Signal s = laugh(l, take.rate, random);
        take.add(s, at, 0.9, 0.05);
        at += static_cast<double>(s.size()) / take.rate + random.range(0.3, 0.7);
        if (random.uniform() < 0.4 && at < take.seconds() - 0.6) {
            // A squeal of delight.
            VoiceSpec squeal;
            squeal.length = 0.4;
            squeal.pitch = [](double t) { return 600 + 500 * std::sin(kPi * t / 0.4); };
            squeal.vowel = [](double) { return kI; };
            squeal.amp = [](double t) { return swell(t, 0.4, 0.05, 0.2); };
            squeal.scale = 1.45;
            take.add(voice(squeal, take.rate, random), at, 0.6, 0.05);
            at += 0.6;
        }
    }
}

void heartyLaugh(Take& take, Random& random) {
    // One man's big laugh: rising into a burst, then running out of breath.
    Laugh first;
    first.pitch = 170;
    first.count = 5;
    first.period = 0.17;
    first.fall = -0.3;
    first.rough = 0.15;
    Signal a = laugh(first, take.rate, random);
    take.add(a, 0.05, 0.9);
    Laugh second = first;
    second.pitch = 230;
    second.count = 8;
    second.period = 0.15;
    second.fall = 0.45;
    take.add(laugh(second, take.rate, random), 0.05 + static_cast<double>(a.size()) / take.rate,
             0.9);
    take.add(breath(0.5, take.rate, random, 1000), 3.0, 0.25);
}

}  // namespace effects
