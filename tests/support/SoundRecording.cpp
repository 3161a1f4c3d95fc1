#include "tests/support/SoundRecording.hpp"

#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace lumivox::testing {

namespace {
// Below the server's own threads (5), as a desktop's recording client would be.
constexpr int kRecorderRealtimePriority = 3;
}  // namespace

SoundRecorder::SoundRecorder(const std::string& device) {
    const std::string deviceOption = "--device=" + device;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        sched_param param{};
        param.sched_priority = kRecorderRealtimePriority;
        sched_setscheduler(0, SCHED_RR, &param);  // refused without the right: ordinary
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execlp("parec", "parec", deviceOption.c_str(), "--raw", "--format=s16le",
               "--rate=44100", "--channels=1", "--latency-msec=5", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    if (pid_ < 0) {
        close(pipeFds[0]);
        return;
    }
    fd_ = pipeFds[0];
    reader_ = std::thread([this] { readLoop(); });
    const auto limit = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < limit) {
        if (sampleCount() >= 441) {
            ok_ = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SoundRecorder::~SoundRecorder() { stop(); }

void SoundRecorder::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

void SoundRecorder::readLoop() {
    std::uint8_t buffer[4096];
    std::uint8_t odd = 0;
    bool haveOdd = false;
    for (;;) {
        const ssize_t got = read(fd_, buffer, sizeof buffer);
        if (got <= 0) {
            return;
        }
        const auto now = Clock::now();
        std::lock_guard lock(mutex_);
        for (ssize_t i = 0; i < got; ++i) {
            if (haveOdd) {
                samples_.push_back(static_cast<std::int16_t>(odd | (buffer[i] << 8)));
                haveOdd = false;
            } else {
                odd = buffer[i];
                haveOdd = true;
            }
        }
        arrivals_.emplace_back(samples_.size(), now);
    }
}

std::vector<std::int16_t> SoundRecorder::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

std::size_t SoundRecorder::sampleCount() const {
    std::lock_guard lock(mutex_);
    return samples_.size();
}

SoundRecorder::Clock::time_point SoundRecorder::arrivalOf(std::size_t index) const {
    std::lock_guard lock(mutex_);
    for (const auto& [count, time] : arrivals_) {
        if (index < count) {
            return time;
        }
    }
    return arrivals_.empty() ? Clock::now() : arrivals_.back().second;
}

long SoundRecorder::waitForLoud(std::size_t from, int threshold,
                                std::chrono::milliseconds timeout) const {
    const auto limit = Clock::now() + timeout;
    std::size_t checked = from;
    while (Clock::now() < limit) {
        {
            std::lock_guard lock(mutex_);
            for (; checked < samples_.size(); ++checked) {
                if (std::abs(samples_[checked]) > threshold) {
                    return static_cast<long>(checked);
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return -1;
}

long SoundRecorder::waitForQuiet(std::size_t from, int threshold, std::size_t count,
                                 std::chrono::milliseconds timeout) const {
    const auto limit = Clock::now() + timeout;
    std::size_t checked = from;
    std::size_t run = 0;
    while (Clock::now() < limit) {
        {
            std::lock_guard lock(mutex_);
            for (; checked < samples_.size(); ++checked) {
                run = std::abs(samples_[checked]) <= threshold ? run + 1 : 0;
                if (run == count) {
                    return static_cast<long>(checked + 1 - count);
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return -1;
}

long firstLoud(const std::vector<std::int16_t>& s, std::size_t from, int threshold) {
    for (std::size_t i = from; i < s.size(); ++i) {
        if (std::abs(s[i]) > threshold) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

long lastLoud(const std::vector<std::int16_t>& s, std::size_t from, int threshold) {
    for (std::size_t i = s.size(); i > from; --i) {
        if (std::abs(s[i - 1]) > threshold) {
            return static_cast<long>(i - 1);
        }
    }
    return -1;
}

double rms(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
    to = std::min(to, s.size());
    if (to <= from) {
        return 0;
    }
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) {
        sum += static_cast<double>(s[i]) * s[i];
    }
    return std::sqrt(sum / static_cast<double>(to - from));
}

double zeroCrossingHz(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
    to = std::min(to, s.size());
    if (to <= from + 1) {
        return 0;
    }
    std::size_t crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if ((s[i - 1] < 0) != (s[i] < 0)) {
            ++crossings;
        }
    }
    return static_cast<double>(crossings) / 2.0 * kRecordRate / static_cast<double>(to - from);
}

double toneStrength(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to,
                    double hz) {
    to = std::min(to, s.size());
    if (to <= from) {
        return 0;
    }
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / kRecordRate);
    double previous = 0;
    double beforePrevious = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double current = s[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    const double n = static_cast<double>(to - from);
    const double amplitude = 2 * std::sqrt(std::max(power, 0.0)) / n;
    const double level = rms(s, from, to) * std::numbers::sqrt2;
    return level > 0 ? std::min(1.0, amplitude / level) : 0;
}

Arrived withoutGaps(const std::vector<std::int16_t>& s, int threshold) {
    // 2 ms: longer than a tone of 250 Hz and more stays near zero.
    constexpr std::size_t kGap = 88;
    Arrived arrived;
    std::size_t quietFrom = 0;  // start of the quiet run before `i`
    bool heardAny = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) <= threshold) {
            continue;
        }
        // A loud sample: the quiet run before it stays unless it is a gap.
        if (heardAny && i - quietFrom < kGap) {
            arrived.sound.insert(arrived.sound.end(), s.begin() + static_cast<long>(quietFrom),
                                 s.begin() + static_cast<long>(i));
        } else if (heardAny) {
            ++arrived.gaps;
        }
        heardAny = true;
        arrived.sound.push_back(s[i]);
        quietFrom = i + 1;
    }
    return arrived;
}

std::vector<ToneStretch> toneStretches(const std::vector<std::int16_t>& s, double threshold) {
    constexpr std::size_t kWindow = 882;
    constexpr std::size_t kShortest = 3;  // windows
    std::vector<ToneStretch> stretches;
    ToneStretch current;
    std::size_t windows = 0;
    const auto close = [&] {
        if (windows >= kShortest) {
            current.hz = zeroCrossingHz(s, current.from, current.to);
            stretches.push_back(current);
        }
        windows = 0;
    };
    for (std::size_t at = 0; at + kWindow <= s.size(); at += kWindow) {
        if (rms(s, at, at + kWindow) <= threshold) {
            close();
            continue;
        }
        const double hz = zeroCrossingHz(s, at, at + kWindow);
        if (windows > 0) {
            const double soFar = zeroCrossingHz(s, current.from, current.to);
            if (std::abs(hz - soFar) > 0.15 * soFar) {
                close();
            }
        }
        if (windows == 0) {
            current.from = at;
        }
        current.to = at + kWindow;
        ++windows;
    }
    close();
    return stretches;
}

}  // namespace lumivox::testing
