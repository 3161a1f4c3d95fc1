// Noises: weapons, breaking glass, a helicopter and thunder, from shaped noise
// and struck partials.
#include <algorithm>

#include "tools/effects/Recipes.hpp"

namespace effects {
namespace {

// Metal ringing: inharmonic partials of a blade.
std::vector<Partial> blade(Random& random, double base, double tau) {
    std::vector<Partial> partials;
    for (double ratio : {1.0, 2.76, 5.40, 8.93, 13.34}) {
        partials.push_back({base * ratio * random.range(0.98, 1.02), 1.0 / std::sqrt(ratio),
                            tau / std::sqrt(ratio)});
    }
    return partials;
}

Signal scrape(double rate, Random& random, double length, double from, double to) {
    Signal s = whiteNoise(random, static_cast<std::size_t>(length * rate));
    Biquad a, b;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        if (i % 32 == 0) {
            const double f = from + (to - from) * t / length;
            a.set(Biquad::Kind::bandpass, rate, f, 12);
            b.set(Biquad::Kind::bandpass, rate, f * 2.3, 10);
        }
        s[i] = (a(s[i]) + 0.6f * b(s[i])) *
               static_cast<float>(swell(t, length, length * 0.2, length * 0.2) *
                                  (0.7 + 0.3 * std::sin(2 * kPi * 60 * t)));
    }
    return s;
}

// A gunshot: the crack, a boom under it and an echo in the open.
Signal gunshot(double rate, Random& random, double boomHz, double crackTau, double boomTau) {
    const auto n = static_cast<std::size_t>(0.6 * rate);
    Signal crack = filtered(whiteNoise(random, n), Biquad::Kind::highpass, rate, 900, 0.7);
    shape(crack, rate, [crackTau](double t) { return strike(t, 0.0003, crackTau); });
    Signal boom = filtered(whiteNoise(random, n), Biquad::Kind::lowpass, rate, boomHz, 1.2, 2);
    shape(boom, rate, [boomTau](double t) { return strike(t, 0.001, boomTau); });
    float top = 0;
    for (float x : boom) {
        top = std::max(top, std::fabs(x));
    }
    for (std::size_t i = 0; i < n; ++i) {
        crack[i] += boom[i] * (top > 0 ? 1.2f / top : 0.0f);
    }
    return crack;
}

Signal metalClick(double rate, Random& random, double base) {
    return modal({{base, 1, 0.012},
                  {base * 1.7, 0.8, 0.01},
                  {base * 2.9, 0.6, 0.006},
                  {base * 4.3, 0.4, 0.004}},
                 0.08, rate, random, 0.6);
}

}  // namespace

void swordDrawn(Take& take, Random& random) {
    // Drawn from the scabbard with a long ring, and later swung and sheathed.
    take.add(scrape(take.rate, random, 0.65, 2400, 3600), 0.2, 0.5, -0.2);
    take.addWithRoom(modal(blade(random, 1480, 2.2), 7.0, take.rate, random, 0.3), 0.82, 0.7, 0,
                     1.8, 0.3);
    Signal swing = filtered(whiteNoise(random, static_cast<std::size_t>(0.5 * take.rate)),
                            Biquad::Kind::bandpass, take.rate, 900, 1.2);
    shape(swing, take.rate, [](double t) { return swell(t, 0.5, 0.3, 0.2); });
    take.add(swing, 7.6, 0.5, 0.4);
    take.add(swing, 8.5, 0.5, -0.4);
    take.add(scrape(take.rate, random, 0.55, 3400, 2500), 9.6, 0.5, 0.2);
    take.add(metalClick(take.rate, random, 2100), 10.16, 0.8, 0.2);
}

void gunCocked(Take& take, Random& random) {
    // The slide back and forward: two pairs of metal clicks.
    take.add(metalClick(take.rate, random, 2600), 0.02, 0.8, -0.1);
    take.add(metalClick(take.rate, random, 1900), 0.09, 0.6, -0.1);
    take.add(scrape(take.rate, random, 0.08, 3000, 2500), 0.1, 0.2, 0);
    take.add(metalClick(take.rate, random, 2300), 0.22, 1.0, 0.1);
    take.add(metalClick(take.rate, random, 1500), 0.26, 0.8, 0.1);
}

void machineGun(Take& take, Random& random) {
    for (double at = 0.02; at < take.seconds() - 0.15; at += 0.075) {
        take.addWithRoom(gunshot(take.rate, random, 300, 0.01, 0.04), at,
                         0.7 * random.range(0.85, 1.0), random.range(-0.2, 0.2), 1.5, 0.35);
    }
}

void rifleShot(Take& take, Random& random) {
    Signal shot = gunshot(take.rate, random, 160, 0.02, 0.12);
    take.add(shot, 0.02, 0.9, 0);
    // Echoes from far walls: later, softer, darker.
    take.add(filtered(shot, Biquad::Kind::lowpass, take.rate, 1400, 0.7), 0.35, 0.3, -0.6);
    take.add(filtered(shot, Biquad::Kind::lowpass, take.rate, 900, 0.7), 0.8, 0.15, 0.6);
    take.addWithRoom(shot, 0.02, 0.0, 0, 3.0, 0.9);
}

void pistolShots(Take& take, Random& random) {
    for (double at : {0.05, 0.75}) {
        take.addWithRoom(gunshot(take.rate, random, 400, 0.012, 0.05), at, 0.9, 0.1, 1.6, 0.4);
        // The spent case bounces on the floor.
        for (int bounce = 0; bounce < 3; ++bounce) {
            take.add(modal({{4200, 1, 0.02}, {6900, 0.6, 0.015}, {9800, 0.4, 0.01}}, 0.1, take.rate,
                           random),
                     at + 0.35 + bounce * 0.09, 0.15 / (bounce + 1), 0.5);
        }
    }
}

void swordFight(Take& take, Random& random) {
    // Several pairs fighting: clashes of blades and the swish of swings.
    double at = 0.05;
    while (at < take.seconds() - 0.4) {
        if (random.uniform() < 0.7) {
            take.add(
                modal(blade(random, random.range(900, 1500), 0.35), 0.5, take.rate, random, 0.8),
                at, 0.7);
        } else {
            Signal swish = filtered(whiteNoise(random, static_cast<std::size_t>(0.2 * take.rate)),
                                    Biquad::Kind::bandpass, take.rate, 1200, 1.0);
            shape(swish, take.rate, [](double t) { return swell(t, 0.2, 0.12, 0.08); });
            take.add(swish, at, 0.4);
        }
        at += random.range(0.12, 0.35);
    }
}

void glassSmash(Take& take, Random& random) {
    // The blow, the sheet breaking, then shards raining and settling.
    take.add(modal({{90, 1, 0.08}, {160, 0.5, 0.06}}, 0.4, take.rate, random, 0.5), 0.1, 0.8);
    Signal crash = filtered(whiteNoise(random, static_cast<std::size_t>(1.2 * take.rate)),
                            Biquad::Kind::highpass, take.rate, 2500, 0.7);
    shape(crash, take.rate, [](double t) { return strike(t, 0.002, 0.18); });
    take.addWithRoom(crash, 0.11, 0.6, 0, 1.2, 0.25);
    double at = 0.11;
    while (at < take.seconds() - 0.3) {
        const double age = at - 0.11;
        std::vector<Partial> shard;
        const double base = random.range(2500, 7000);
        for (double ratio : {1.0, 1.62, 2.38}) {
            shard.push_back({base * ratio, 1 / ratio, random.range(0.02, 0.08)});
        }
        take.add(modal(shard, 0.2, take.rate, random, 0.2), at,
                 0.35 * std::exp(-age / 1.5) * random.range(0.3, 1.0), random.range(-0.9, 0.9));
        at += 0.004 + random.uniform() * 0.02 * (1 + age * 3);
    }
}

void helicopter(Take& take, Random& random) {
    // Blade slaps at about 19 per second over turbine whine, passing by.
    const double length = take.seconds();
    const auto n = take.left.size();
    Signal rotor = brownNoise(random, n);
    Signal whine(n);
    double phase = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / take.rate;
        phase += 19.0 / take.rate;
        const double within = phase - std::floor(phase);
        rotor[i] *= static_cast<float>(std::exp(-within * 9) * 3 + 0.15);
        whine[i] = static_cast<float>(0.03 * std::sin(2 * kPi * 1700 * t) +
                                      0.02 * std::sin(2 * kPi * 95 * t));
    }
    rotor = filtered(rotor, Biquad::Kind::lowpass, take.rate, 900, 0.7);
    Signal tail = filtered(whiteNoise(random, n), Biquad::Kind::bandpass, take.rate, 2200, 3);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / take.rate;
        tail[i] *= static_cast<float>(0.2 * (0.6 + 0.4 * std::sin(2 * kPi * 90 * t)));
    }
    for (Signal* s : {&rotor, &whine, &tail}) {
        shape(*s, take.rate, [length](double t) {
            return swell(t, length, 0.8, 1.2) * (0.55 + 0.45 * std::sin(kPi * t / length));
        });
    }
    float top = 0;
    for (float x : rotor) {
        top = std::max(top, std::fabs(x));
    }
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / take.rate;
        const double pan = -0.8 + 1.6 * t / length;
        const double angle = (pan + 1) * kPi / 4;
        const float mono = rotor[i] * (top > 0 ? 0.8f / top : 0.0f) + whine[i] + tail[i] * 0.2f;
        take.left[i] += static_cast<float>(mono * std::cos(angle) * 1.4);
        take.right[i] += static_cast<float>(mono * std::sin(angle) * 1.4);
    }
}

void thunder(Take& take, Random& random) {
    // A close strike: the crack, then rolling rumble.
    Signal crack = filtered(whiteNoise(random, static_cast<std::size_t>(0.4 * take.rate)),
                            Biquad::Kind::highpass, take.rate, 1200, 0.7);
    shape(crack, take.rate, [](double t) { return strike(t, 0.002, 0.06); });
    take.add(crack, 0.02, 0.4);
    const std::size_t n = take.left.size();
    for (int side = 0; side < 2; ++side) {
        Signal rumble = filtered(brownNoise(random, n), Biquad::Kind::lowpass, take.rate, 160, 0.8);
        std::vector<double> rolls;
        for (int k = 0; k < 6; ++k) {
            rolls.push_back(random.range(0.05, take.seconds() - 0.3));
        }
        const double length = take.seconds();
        shape(rumble, take.rate, [&rolls, length](double t) {
            double g = 0.3 * strike(t, 0.05, 0.8);
            for (double r : rolls) {
                g += 0.6 * strike(t - r, 0.05, 0.25);
            }
            return g * swell(t, length, 0.02, 0.5);
        });
        float top = 0;
        for (float x : rumble) {
            top = std::max(top, std::fabs(x));
        }
        Signal& out = side == 0 ? take.left : take.right;
        for (std::size_t i = 0; i < n; ++i) {
            out[i] += rumble[i] * (top > 0 ? 0.9f / top : 0.0f);
        }
    }
}

}  // namespace effects
