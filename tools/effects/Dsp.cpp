#include "tools/effects/Dsp.hpp"

#include <algorithm>

namespace effects {

void Biquad::set(Kind kind, double rate, double freq, double q, double gainDb) {
    freq = std::clamp(freq, 10.0, rate * 0.45);
    const double w = 2 * kPi * freq / rate;
    const double cw = std::cos(w);
    const double alpha = std::sin(w) / (2 * q);
    double b0 = 0, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
    switch (kind) {
        case Kind::lowpass:
            b0 = (1 - cw) / 2, b1 = 1 - cw, b2 = (1 - cw) / 2;
            a0 = 1 + alpha, a1 = -2 * cw, a2 = 1 - alpha;
            break;
        case Kind::highpass:
            b0 = (1 + cw) / 2, b1 = -(1 + cw), b2 = (1 + cw) / 2;
            a0 = 1 + alpha, a1 = -2 * cw, a2 = 1 - alpha;
            break;
        case Kind::bandpass:  // 0 dB at the centre
            b0 = alpha, b1 = 0, b2 = -alpha;
            a0 = 1 + alpha, a1 = -2 * cw, a2 = 1 - alpha;
            break;
        case Kind::peak: {
            const double a = std::pow(10.0, gainDb / 40);
            b0 = 1 + alpha * a, b1 = -2 * cw, b2 = 1 - alpha * a;
            a0 = 1 + alpha / a, a1 = -2 * cw, a2 = 1 - alpha / a;
            break;
        }
    }
    b0_ = b0 / a0, b1_ = b1 / a0, b2_ = b2 / a0, a1_ = a1 / a0, a2_ = a2 / a0;
}

Signal whiteNoise(Random& random, std::size_t n) {
    Signal s(n);
    for (float& x : s) {
        x = static_cast<float>(random.bipolar());
    }
    return s;
}

Signal brownNoise(Random& random, std::size_t n) {
    Signal s(n);
    double y = 0;
    for (float& x : s) {
        y = y * 0.995 + random.bipolar() * 0.1;
        x = static_cast<float>(y);
    }
    return s;
}

Signal filtered(Signal s, Biquad::Kind kind, double rate, double freq, double q, int passes) {
    for (int i = 0; i < passes; ++i) {
        Biquad(kind, rate, freq, q).run(s);
    }
    return s;
}

void shape(Signal& s, double rate, const std::function<double(double)>& f) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<float>(s[i] * f(static_cast<double>(i) / rate));
    }
}

double strike(double t, double attack, double tau) {
    if (t < 0) {
        return 0;
    }
    if (t < attack) {
        return t / attack;
    }
    return std::exp(-(t - attack) / tau);
}

double swell(double t, double length, double rise, double fall) {
    if (t < 0 || t > length) {
        return 0;
    }
    double g = 1;
    if (t < rise) {
        g = 0.5 - 0.5 * std::cos(kPi * t / rise);
    }
    if (t > length - fall) {
        g *= 0.5 - 0.5 * std::cos(kPi * (length - t) / fall);
    }
    return g;
}

void mixInto(Signal& left, Signal& right, const Signal& src, double rate, double at, double gain,
             double pan) {
    const double angle = (std::clamp(pan, -1.0, 1.0) + 1) * kPi / 4;
    const double gl = gain * std::cos(angle) * 1.41421356;
    const double gr = gain * std::sin(angle) * 1.41421356;
    const auto start = static_cast<long>(at * rate);
    for (std::size_t i = 0; i < src.size(); ++i) {
        const long j = start + static_cast<long>(i);
        if (j < 0) {
            continue;
        }
        if (static_cast<std::size_t>(j) >= left.size()) {
            break;
        }
        left[static_cast<std::size_t>(j)] += static_cast<float>(src[i] * gl);
        right[static_cast<std::size_t>(j)] += static_cast<float>(src[i] * gr);
    }
}

void mixInto(Signal& mono, const Signal& src, double rate, double at, double gain) {
    const auto start = static_cast<long>(at * rate);
    for (std::size_t i = 0; i < src.size(); ++i) {
        const long j = start + static_cast<long>(i);
        if (j < 0) {
            continue;
        }
        if (static_cast<std::size_t>(j) >= mono.size()) {
            break;
        }
        mono[static_cast<std::size_t>(j)] += static_cast<float>(src[i] * gain);
    }
}

Vowel mixVowel(const Vowel& a, const Vowel& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.f1 + (b.f1 - a.f1) * t, a.f2 + (b.f2 - a.f2) * t, a.f3 + (b.f3 - a.f3) * t,
            a.f4 + (b.f4 - a.f4) * t};
}

namespace {

// Glottal flow over one period (phase 0..1): open, closing, closed.
double glottalFlow(double p) {
    if (p < 0.55) {
        return 0.5 - 0.5 * std::cos(kPi * p / 0.55);
    }
    if (p < 0.8) {
        return std::cos(kPi / 2 * (p - 0.55) / 0.25);
    }
    return 0;
}

void normalisePeak(Signal& s, double peak) {
    float top = 0;
    for (float x : s) {
        top = std::max(top, std::fabs(x));
    }
    if (top > 0) {
        const auto g = static_cast<float>(peak / top);
        for (float& x : s) {
            x *= g;
        }
    }
}

}  // namespace

Signal voice(const VoiceSpec& spec, double rate, Random& random) {
    const auto n = static_cast<std::size_t>(spec.length * rate);
    Signal out(n);
    Biquad formants[4];
    constexpr double kBandwidths[4] = {90, 110, 170, 250};
    constexpr double kGains[4] = {1.0, 0.6, 0.3, 0.15};
    double phase = 0, periodFactor = 1, periodAmp = 1, lastFlow = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        if (i % 32 == 0) {
            const Vowel v = spec.vowel(t);
            const double f[4] = {v.f1, v.f2, v.f3, v.f4};
            for (int k = 0; k < 4; ++k) {
                const double freq = f[k] * spec.scale;
                const double bw = kBandwidths[k] * spec.bandwidth * std::max(1.0, spec.scale);
                formants[k].set(Biquad::Kind::bandpass, rate, freq, freq / bw);
            }
        }
        phase += spec.pitch(t) * periodFactor / rate;
        if (phase >= 1) {
            phase -= std::floor(phase);
            periodFactor = 1 + spec.jitter * random.gauss();
            periodAmp = std::max(0.0, 1 + spec.rough * random.gauss());
        }
        const double flow = glottalFlow(phase) * periodAmp;
        const double pulse = (flow - lastFlow) * rate / 200.0;
        lastFlow = flow;
        const double noise = random.bipolar() * spec.breath * (0.3 + flow);
        const double source = pulse + noise * 2;
        double y = 0;
        for (int k = 0; k < 4; ++k) {
            y += kGains[k] * formants[k](static_cast<float>(source));
        }
        out[i] = static_cast<float>(y * spec.amp(t));
    }
    normalisePeak(out, 0.8);
    return out;
}

Signal modal(const std::vector<Partial>& partials, double length, double rate, Random& random,
             double noiseClick) {
    const auto n = static_cast<std::size_t>(length * rate);
    Signal out(n, 0.0f);
    for (const Partial& p : partials) {
        if (p.freq >= rate * 0.48) {
            continue;
        }
        const double phase0 = random.uniform() * 2 * kPi;
        // A rotating phasor with a per-sample decay: no sin/exp per sample.
        const double w = 2 * kPi * p.freq / rate;
        const double decay = std::exp(-1.0 / (p.tau * rate));
        double re = std::cos(phase0) * p.amp, im = std::sin(phase0) * p.amp;
        const double cr = std::cos(w) * decay, ci = std::sin(w) * decay;
        for (std::size_t i = 0; i < n; ++i) {
            out[i] += static_cast<float>(im);
            const double r = re * cr - im * ci;
            im = re * ci + im * cr;
            re = r;
            if ((i & 1023) == 0 && std::fabs(re) + std::fabs(im) < 1e-6) {
                break;
            }
        }
    }
    if (noiseClick > 0) {
        const auto clickLength = static_cast<std::size_t>(0.004 * rate);
        for (std::size_t i = 0; i < std::min(n, clickLength); ++i) {
            out[i] += static_cast<float>(noiseClick * random.bipolar() *
                                         (1.0 - static_cast<double>(i) / clickLength));
        }
    }
    // A few samples of attack so the strike does not click.
    for (std::size_t i = 0; i < std::min<std::size_t>(n, 16); ++i) {
        out[i] *= static_cast<float>(i) / 16.0f;
    }
    normalisePeak(out, 0.8);
    return out;
}

namespace {

class Comb {
  public:
    Comb(std::size_t delay, double feedback, double damp)
        : line_(std::max<std::size_t>(delay, 1), 0.0f), feedback_(feedback), damp_(damp) {}
    float operator()(float x) {
        const float y = line_[at_];
        store_ = static_cast<float>(y * (1 - damp_) + store_ * damp_);
        line_[at_] = static_cast<float>(x + store_ * feedback_);
        at_ = (at_ + 1) % line_.size();
        return y;
    }

  private:
    Signal line_;
    std::size_t at_ = 0;
    double feedback_, damp_;
    float store_ = 0;
};

class Allpass {
  public:
    explicit Allpass(std::size_t delay) : line_(std::max<std::size_t>(delay, 1), 0.0f) {}
    float operator()(float x) {
        const float buffered = line_[at_];
        const float y = -x + buffered;
        line_[at_] = x + buffered * 0.5f;
        at_ = (at_ + 1) % line_.size();
        return y;
    }

  private:
    Signal line_;
    std::size_t at_ = 0;
};

}  // namespace

void reverb(const Signal& dry, Signal& left, Signal& right, double rate, double roomSize,
            double wet) {
    constexpr double kCombMs[4] = {29.7, 37.1, 41.1, 43.7};
    constexpr double kAllpassMs[2] = {5.0, 1.7};
    for (int side = 0; side < 2; ++side) {
        Signal& out = side == 0 ? left : right;
        std::vector<Comb> combs;
        for (double ms : kCombMs) {
            const double spread = side == 0 ? 1.0 : 1.037;
            combs.emplace_back(static_cast<std::size_t>(ms * roomSize * spread * rate / 1000),
                               0.72 + 0.2 * std::min(1.0, roomSize / 3), 0.3);
        }
        std::vector<Allpass> allpasses;
        for (double ms : kAllpassMs) {
            allpasses.emplace_back(static_cast<std::size_t>(ms * rate / 1000 * (side ? 1.1 : 1.0)));
        }
        for (std::size_t i = 0; i < out.size(); ++i) {
            const float x = i < dry.size() ? dry[i] : 0.0f;
            float y = 0;
            for (Comb& comb : combs) {
                y += comb(x);
            }
            for (Allpass& allpass : allpasses) {
                y = allpass(y);
            }
            out[i] += static_cast<float>(y * wet * 0.25);
        }
    }
}

}  // namespace effects
