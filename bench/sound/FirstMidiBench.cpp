// The first MIDI song's start: a fresh lumivox-play process playing a short
// MIDI file (so the synthesizer is made, and its library loaded, for the first
// time in that process), from the process start to the first sound at the
// private server's monitor; beside it the same tool playing a WAV file, which
// pays the same process start and sound-server connection. Alternating runs,
// medians, and the MIDI song's extra time over the WAV file.
//   scripts/build release sound_first_midi_bench && build/release/bench/sound/sound_first_midi_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/sound/SoundFixtures.hpp"

namespace {

using namespace std::chrono_literals;
using namespace lumivox::testing;
using Clock = std::chrono::steady_clock;

// Quieter than the effects' threshold: a synthesized flute rises gently.
constexpr int kHeard = 200;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? -1 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    SoundFixtures& sound = SoundFixtures::get();
    if (!sound.ok() || !sound.recorder().ok()) {
        std::fprintf(stderr, "no private sound server or recorder\n");
        return 1;
    }
    SoundRecorder& recorder = sound.recorder();
    const auto song = sound.fluteNote("first.mid");
    const auto wave = sound.tone("first.wav", "-r 44100 -b 16 -c 2", 0.5, 440);

    auto startToSound = [&](const std::string& file) {
        std::this_thread::sleep_for(500ms);
        const std::size_t from = recorder.sampleCount();
        const auto start = Clock::now();
        Subprocess player({LUMIVOX_PLAY, file}, sound.server().environment());
        const long heard = recorder.waitForLoud(from, kHeard, 10s);
        player.wait(10s);
        return heard < 0 ? -1.0
                         : std::chrono::duration<double, std::milli>(
                               recorder.arrivalOf(static_cast<std::size_t>(heard)) - start)
                               .count();
    };
    startToSound(song.string());  // the file cache warmed for both
    startToSound(wave.string());
    std::vector<double> midi, wav;
    for (int run = 0; run < runs; ++run) {
        midi.push_back(startToSound(song.string()));
        wav.push_back(startToSound(wave.string()));
        if (midi.back() < 0 || wav.back() < 0) {
            std::fprintf(stderr, "run %d: nothing heard\n", run);
            return 1;
        }
    }
    std::printf("runs: %d\n", runs);
    std::printf("first_midi_song_start: %.1f ms\n", median(midi));
    std::printf("first_wave_start_same_tool: %.1f ms\n", median(wav));
    std::printf("first_midi_extra_over_wave: %.1f ms\n", median(midi) - median(wav));
    std::printf("first_midi_ratio_to_wave: %.2f x\n", median(midi) / median(wav));
    return 0;
}
