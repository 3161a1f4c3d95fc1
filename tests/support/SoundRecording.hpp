#pragma once
// What a private sound server plays, recorded from its null sink's monitor
// (parec, mono 16-bit at 44,100 Hz) with the arrival time of every chunk, and
// the measures the sound tests and benchmarks take of it.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumivox::testing {

constexpr double kRecordRate = 44100.0;

class SoundRecorder {
public:
    using Clock = std::chrono::steady_clock;

    // Starts parec on "out.monitor" (or `device`) of the server this process uses (PULSE_SERVER),
    // and returns once the first samples arrived. parec runs in the real-time
    // class where the system allows it, as a desktop's sound server does: on a
    // busy machine its samples then arrive when they are made.
    // `device`: another source of that server (a sink's monitor, a microphone).
    explicit SoundRecorder(const std::string& device = "out.monitor");
    ~SoundRecorder();
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;

    bool ok() const { return ok_; }
    // The samples so far (a copy).
    std::vector<std::int16_t> samples() const;
    std::size_t sampleCount() const;
    // When the chunk holding sample `index` arrived (the last arrival when beyond).
    Clock::time_point arrivalOf(std::size_t index) const;
    // Blocks until a sample beyond `index` louder than `threshold` arrived, or
    // the time-out passed; its index, or -1.
    long waitForLoud(std::size_t from, int threshold, std::chrono::milliseconds timeout) const;
    // Blocks until `count` samples in a row at or below `threshold` arrived after `from`;
    // the index of the first of them, or -1.
    long waitForQuiet(std::size_t from, int threshold, std::size_t count,
                      std::chrono::milliseconds timeout) const;
    void stop();

private:
    void readLoop();

    pid_t pid_ = -1;
    int fd_ = -1;
    bool ok_ = false;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::int16_t> samples_;
    std::vector<std::pair<std::size_t, Clock::time_point>> arrivals_;
};

// Index of the first sample in [from, end) whose magnitude exceeds `threshold`, or -1.
long firstLoud(const std::vector<std::int16_t>& s, std::size_t from, int threshold);
// Index of the last such sample, or -1.
long lastLoud(const std::vector<std::int16_t>& s, std::size_t from, int threshold);
double rms(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to);
// Frequency from the rate of zero crossings (a pure tone's frequency).
double zeroCrossingHz(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to);
// Relative strength (0..1) of one frequency in the range (Goertzel).
double toneStrength(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to,
                    double hz);

// The sound that arrived: `s` from its first to its last loud sample (above
// `threshold`) without the runs of 2 ms and more at or below it between them,
// and how many such gaps of silence were taken out. A stream the server found empty (an underrun) leaves such a
// gap; the sound itself (its length, pitch and order of tones) is what is left.
struct Arrived {
    std::vector<std::int16_t> sound;
    std::size_t gaps = 0;
};
Arrived withoutGaps(const std::vector<std::int16_t>& s, int threshold);

// The loud stretches of a recording in order, each with its tone's frequency:
// windows of 20 ms louder than `threshold` RMS, split where the frequency moves
// by more than 15 % or a quiet window comes; stretches shorter than 60 ms dropped.
struct ToneStretch {
    std::size_t from = 0;
    std::size_t to = 0;
    double hz = 0;
};
std::vector<ToneStretch> toneStretches(const std::vector<std::int16_t>& s, double threshold);

}  // namespace lumivox::testing
