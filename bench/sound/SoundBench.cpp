// Sound benchmarks on a private PulseAudio server, with peers measured in the
// same run: click-to-sound (beside paplay), stop-to-silence with 50 voices,
// CPU per voice with 64 voices (and underruns), underruns of 50 overlapping
// effects beside two CPU-bound processes, MP3 decoding (beside mpg123 -t).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/MpegDecoder.hpp"
#include "platform/WaveOut.hpp"
#include "sound/SongFileReader.hpp"
#include "sound/SoundService.hpp"
#include "tests/e2e/sound/SoundFixtures.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using lumivox::testing::SoundFixtures;
using lumivox::testing::SoundRecorder;

constexpr int kLoud = 800;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// From `start` to the arrival of the first loud sample recorded after `from`.
double untilLoud(const SoundRecorder& recorder, std::size_t from, Clock::time_point start) {
    const long loud = recorder.waitForLoud(from, kLoud, 5s);
    return loud < 0 ? -1 : ms(recorder.arrivalOf(static_cast<std::size_t>(loud)) - start);
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main() {
    SoundFixtures& fixtures = SoundFixtures::get();
    if (!fixtures.ok()) {
        std::fprintf(stderr, "no private sound server\n");
        return 1;
    }
    SoundRecorder& recorder = fixtures.recorder();
    if (!recorder.ok()) {
        std::fprintf(stderr, "parec did not start\n");
        return 1;
    }
    lumivox::SoundService service(lumivox::platform::openWaveOut);
    const auto click = fixtures.tone("click.wav", "-r 44100 -b 16 -c 2", 0.2, 1000);
    const auto clickBytes = lumivox::testing::readBytes(click);

    // Click-to-sound, alternating ours and paplay, the median of seven each.
    std::vector<double> ours;
    std::vector<double> paplay;
    for (int round = 0; round < 7; ++round) {
        std::this_thread::sleep_for(300ms);
        std::size_t from = recorder.sampleCount();
        auto start = Clock::now();
        service.playSound(clickBytes);
        ours.push_back(untilLoud(recorder, from, start));
        std::this_thread::sleep_for(400ms);
        from = recorder.sampleCount();
        start = Clock::now();
        lumivox::testing::Subprocess peer({"paplay", click.string()}, fixtures.server().environment());
        paplay.push_back(untilLoud(recorder, from, start));
        peer.wait(5s);
    }
    std::printf("click_to_sound_lumivox: %.1f ms\n", median(ours));
    std::printf("click_to_sound_paplay: %.1f ms\n", median(paplay));
    std::printf("click_to_sound_ratio_lumivox_to_paplay: %.2f x\n", median(ours) / median(paplay));

    // Stop-to-silence with 50 voices sounding.
    const auto longTone = lumivox::testing::readBytes(fixtures.tone("bench-long.wav", "-r 44100 -b 16 -c 2", 4, 700));
    std::vector<double> stops;
    for (int round = 0; round < 3; ++round) {
        service.waitForVoices();
        std::this_thread::sleep_for(200ms);
        const std::size_t from = recorder.sampleCount();
        for (int i = 0; i < 50; ++i) {
            service.playSound(longTone);
        }
        recorder.waitForLoud(from, kLoud, 5s);
        std::this_thread::sleep_for(500ms);
        const std::size_t beforeStop = recorder.sampleCount();
        const auto start = Clock::now();
        service.stopAllSounds();
        const long quiet = recorder.waitForQuiet(beforeStop, kLoud / 4, 441, 5s);
        stops.push_back(quiet < 0 ? -1 : ms(recorder.arrivalOf(static_cast<std::size_t>(quiet)) - start));
    }
    std::printf("stop_to_silence_50_voices: %.1f ms\n", median(stops));

    // CPU per voice and underruns with 64 overlapping voices.
    service.waitForVoices();
    for (int i = 0; i < 64; ++i) {
        service.playSound(longTone);
    }
    std::this_thread::sleep_for(500ms);
    const std::uint64_t underrunsBefore = lumivox::platform::waveOutUnderrunCount();
    const double cpuBefore = cpuSeconds();
    const auto windowStart = Clock::now();
    std::this_thread::sleep_for(2s);
    const double cpu = cpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - windowStart).count();
    const std::uint64_t underruns = lumivox::platform::waveOutUnderrunCount() - underrunsBefore;
    service.stopAllSounds();
    service.waitForVoices();
    std::printf("cpu_per_voice_64_voices: %.3f %%\n", 100.0 * cpu / wall / 64);
    std::printf("underruns_64_voices: %llu count\n", static_cast<unsigned long long>(underruns));

    // Underruns of 50 overlapping effects, started 20 ms apart, while two
    // CPU-bound processes keep both cores of a small machine busy.
    {
        const auto effect = lumivox::testing::readBytes(
            fixtures.tone("bench-effect.wav", "-r 44100 -b 16 -c 2", 2, 900));
        lumivox::testing::Subprocess busy1({"sh", "-c", "while :; do :; done"});
        lumivox::testing::Subprocess busy2({"sh", "-c", "while :; do :; done"});
        std::this_thread::sleep_for(300ms);
        const std::uint64_t before = lumivox::platform::waveOutUnderrunCount();
        for (int i = 0; i < 50; ++i) {
            service.playSound(effect);
            std::this_thread::sleep_for(20ms);
        }
        service.waitForVoices();
        const std::uint64_t loaded = lumivox::platform::waveOutUnderrunCount() - before;
        busy1.terminate();
        busy2.terminate();
        std::printf("underruns_50_effects_two_busy_processes: %llu count\n",
                    static_cast<unsigned long long>(loaded));
    }

    // MP3 decoding speed: the song pipeline's reader and decoder beside mpg123 -t.
    const double songSeconds = 60;
    const auto song = fixtures.song("bench-song.mp3", songSeconds, 440);
    const auto decodeStart = Clock::now();
    for (int pass = 0; pass < 3; ++pass) {
        auto reader = lumivox::SongFileReader::open(song.string());
        lumivox::MpegDecoder decoder;
        std::vector<std::uint8_t> block(lumivox::SongFileReader::kBlockBytes);
        bool end = false;
        for (;;) {
            std::span<const std::uint8_t> pcm;
            const auto step = decoder.next(pcm);
            if (step == lumivox::MpegDecoder::Step::needMore && !end) {
                const std::size_t got = reader->read(block.data());
                end = got < block.size();
                decoder.feed({block.data(), got});
            } else if (step == lumivox::MpegDecoder::Step::needMore ||
                       step == lumivox::MpegDecoder::Step::failed) {
                break;
            }
        }
    }
    const double oursSeconds = std::chrono::duration<double>(Clock::now() - decodeStart).count() / 3;
    const auto peerStart = Clock::now();
    for (int pass = 0; pass < 3; ++pass) {
        lumivox::testing::runCommand("mpg123 -q -t '" + song.string() + "' 2>/dev/null");
    }
    const double peerSeconds = std::chrono::duration<double>(Clock::now() - peerStart).count() / 3;
    std::printf("mp3_decode_lumivox: %.0f x realtime\n", songSeconds / oursSeconds);
    std::printf("mp3_decode_mpg123_t: %.0f x realtime\n", songSeconds / peerSeconds);
    std::printf("mp3_decode_ratio_lumivox_to_mpg123: %.2f x\n", peerSeconds / oursSeconds);
    return 0;
}
