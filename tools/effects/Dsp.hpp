#pragma once
// The building blocks of the effect recipes: a deterministic random source,
// RBJ biquad filters, envelopes, a formant voice (glottal pulses through vowel
// resonances), modal strikes (sums of decaying partials) and a small reverb.
// Signals are float vectors at the effect's rate; a Take is the stereo result.
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace effects {

using Signal = std::vector<float>;
inline constexpr double kPi = 3.14159265358979323846;

// xorshift64*: the same numbers on every machine and standard library.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double low, double high) { return low + (high - low) * uniform(); }
    double bipolar() { return 2.0 * uniform() - 1.0; }
    // Roughly normal (sum of four uniforms).
    double gauss() { return (uniform() + uniform() + uniform() + uniform() - 2.0) * 1.732; }

  private:
    std::uint64_t state_;
};

// One RBJ cookbook biquad, direct form I.
class Biquad {
  public:
    enum class Kind { lowpass, highpass, bandpass, peak };
    Biquad() = default;
    Biquad(Kind kind, double rate, double freq, double q, double gainDb = 0) {
        set(kind, rate, freq, q, gainDb);
    }
    void set(Kind kind, double rate, double freq, double q, double gainDb = 0);
    float operator()(float x) {
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return static_cast<float>(y);
    }
    void run(Signal& s) {
        for (float& x : s) {
            x = (*this)(x);
        }
    }

  private:
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

Signal whiteNoise(Random& random, std::size_t n);
// Brownian (integrated, leaky) noise: the rumble of thunder and engines.
Signal brownNoise(Random& random, std::size_t n);
Signal filtered(Signal s, Biquad::Kind kind, double rate, double freq, double q, int passes = 1);

// Multiplies by f(t) (seconds from the start of s).
void shape(Signal& s, double rate, const std::function<double(double)>& f);
// Attack then exponential decay with time constant `tau`.
double strike(double t, double attack, double tau);
// A smooth rise, hold and fall over [0, length].
double swell(double t, double length, double rise, double fall);

// Adds `src` (mono) at time `at` into a stereo pair, pan -1 (left) .. 1 (right).
void mixInto(Signal& left, Signal& right, const Signal& src, double rate, double at, double gain,
             double pan = 0);
void mixInto(Signal& mono, const Signal& src, double rate, double at, double gain);

// Vowels by their first four formants (Hz).
struct Vowel {
    double f1, f2, f3, f4;
};
inline constexpr Vowel kA{800, 1200, 2600, 3400};
inline constexpr Vowel kO{480, 820, 2700, 3400};
inline constexpr Vowel kU{340, 720, 2500, 3300};
inline constexpr Vowel kE{500, 1750, 2600, 3400};
inline constexpr Vowel kI{290, 2250, 3000, 3700};
inline constexpr Vowel kAh{700, 1100, 2500, 3300};  // a darker "ah"
inline constexpr Vowel kM{250, 1200, 2200, 3300};   // a closed-lip hum

// A voiced sound: glottal pulses at pitch(t) through the formants of vowel(t),
// with breath noise, pitch jitter and roughness (period-to-period shimmer), and
// the amplitude envelope amp(t). `scale` shifts all formants (small heads, animals).
struct VoiceSpec {
    double length = 1.0;
    std::function<double(double)> pitch = [](double) { return 120.0; };
    std::function<Vowel(double)> vowel = [](double) { return kA; };
    std::function<double(double)> amp = [](double) { return 1.0; };
    double breath = 0.05;
    double jitter = 0.01;
    double rough = 0.0;
    double scale = 1.0;
    double bandwidth = 1.0;  // multiplies the formant bandwidths
};
Signal voice(const VoiceSpec& spec, double rate, Random& random);

Vowel mixVowel(const Vowel& a, const Vowel& b, double t);

// Struck object: partials (frequency, amplitude, decay time constant).
struct Partial {
    double freq, amp, tau;
};
Signal modal(const std::vector<Partial>& partials, double length, double rate, Random& random,
             double noiseClick = 0.0);

// Schroeder reverb of a mono signal into a stereo tail of `length` seconds.
void reverb(const Signal& dry, Signal& left, Signal& right, double rate, double roomSize,
            double wet);

// A silence of `seconds`.
inline Signal silence(double seconds, double rate) {
    return Signal(static_cast<std::size_t>(std::max(0.0, seconds) * rate), 0.0f);
}

// Reads s at a fractional position (linear interpolation); 0 outside.
inline float sampleAt(const Signal& s, double position) {
    if (position < 0) {
        return 0;
    }
    const auto i = static_cast<std::size_t>(position);
    if (i + 1 >= s.size()) {
        return 0;
    }
    const double f = position - static_cast<double>(i);
    return static_cast<float>(s[i] * (1 - f) + s[i + 1] * f);
}

}  // namespace effects
