// Makes the 50 sound effects of the effects page:
//   lumivox_effect_generator <output folder> [button...]
// One recipe per effect (Recipes*.cpp), each levelled to one integrated loudness
// with its peaks kept below -1 dBFS, and written in the exact format of its row
// of the effect table as NN.wav. Deterministic: the same program writes the
// same bytes. Files appear whole (written aside, then renamed).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "tools/effects/Loudness.hpp"
#include "tools/effects/Recipes.hpp"
#include "tools/effects/WaveWriter.hpp"

namespace effects {

void Take::addWithRoom(const Signal& s, double at, double gain, double pan, double room,
                       double wet) {
    add(s, at, gain, pan);
    Signal placed(left.size(), 0.0f);
    mixInto(placed, s, rate, at, gain);
    Signal l(left.size(), 0.0f), r(left.size(), 0.0f);
    reverb(placed, l, r, rate, room, wet);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] += l[i];
        right[i] += r[i];
    }
}

namespace {

constexpr Recipe kRecipes[lumivox::kBuiltinSoundCount] = {
    messageBlip,
    promptChime,
    roosterCrow,
    djScratch,
    contemptJeer,
    whipAndGroans,
    burp,
    snore,
    fightScene,
    sneeze,
    swordDrawn,
    busyTone,
    fart,
    lightOnSting,
    gunCocked,
    dogBark,
    drums,
    ghostMale,
    ghostFemale,
    yawn,
    cheeringApplause,
    machineGun,
    intenseApplause,
    manCoughing,
    scream,
    snickering,
    hotlineSpeech,
    ambulance,
    rifleShot,
    womanMoaning,
    gong,
    bell,
    kissQuick,
    kissFemale,
    lightApplause,
    swordFight,
    crowdLaughter,
    pistolShots,
    crowFlyingOver,
    evilLaugh,
    heartbeat,
    newsOpening,
    countingInEnglish,
    babyLaughter,
    glassSmash,
    helicopter,
    heartyLaugh,
    beDecentSpeech,
    airRaidSiren,
    thunder,
};

std::size_t frameCount(const lumivox::BuiltinSoundRow& row) {
    if (row.encoding == lumivox::EffectEncoding::msAdpcm) {
        return msAdpcmSampleCount(row.dataBytes, lumivox::kAdpcmBlockBytes);
    }
    return row.dataBytes / static_cast<std::size_t>(row.channels * row.bits / 8);
}

// Keeps every sample within the ceiling: a gain that is down before a peak comes
// (looking 2 ms ahead) and recovers over 80 ms.
void limit(std::vector<float>& interleaved, int channels, int rate) {
    const std::size_t frames = interleaved.size() / static_cast<std::size_t>(channels);
    std::vector<float> needed(frames, 1.0f);
    for (std::size_t i = 0; i < frames; ++i) {
        float peak = 0;
        for (int c = 0; c < channels; ++c) {
            peak = std::max(peak, std::fabs(interleaved[i * channels + c]));
        }
        needed[i] = peak > kPeakCeiling ? static_cast<float>(kPeakCeiling / peak) : 1.0f;
    }
    // The smallest need within the look-ahead window (a monotonic queue).
    const auto ahead = static_cast<std::size_t>(0.002 * rate) + 1;
    std::vector<float> windowMinimum(frames);
    std::deque<std::size_t> queue;
    for (std::size_t j = frames; j-- > 0;) {
        while (!queue.empty() && needed[queue.back()] >= needed[j]) {
            queue.pop_back();
        }
        queue.push_back(j);
        if (queue.front() >= j + ahead) {
            queue.pop_front();
        }
        windowMinimum[j] = needed[queue.front()];
    }
    const double recovery = 1 - std::exp(-1.0 / (0.08 * rate));
    double gain = 1;
    for (std::size_t i = 0; i < frames; ++i) {
        const double target = windowMinimum[i];
        gain = target < gain ? target : gain + (target - gain) * recovery;
        for (int c = 0; c < channels; ++c) {
            float& x = interleaved[i * channels + c];
            x = static_cast<float>(std::clamp(x * gain, -kPeakCeiling, kPeakCeiling));
        }
    }
}

std::vector<float> makeEffect(const lumivox::BuiltinSoundRow& row) {
    const std::size_t frames = frameCount(row);
    Take take{static_cast<double>(row.rate), Signal(frames, 0.0f), Signal(frames, 0.0f)};
    Random random(static_cast<std::uint64_t>(row.button) * 7919);
    kRecipes[row.button - 1](take, random);
    std::vector<float> interleaved;
    interleaved.reserve(frames * static_cast<std::size_t>(row.channels));
    for (std::size_t i = 0; i < frames; ++i) {
        if (row.channels == 1) {
            interleaved.push_back((take.left[i] + take.right[i]) * 0.5f);
        } else {
            interleaved.push_back(take.left[i]);
            interleaved.push_back(take.right[i]);
        }
    }
    // Level, limit, and measure again: limiting takes a little loudness away.
    for (int round = 0; round < 6; ++round) {
        const double loudness = integratedLoudness(interleaved, row.channels, row.rate);
        if (!std::isfinite(loudness)) {
            throw std::runtime_error("effect " + std::to_string(row.button) + " is silent");
        }
        if (std::fabs(loudness - kTargetLufs) < 0.2) {
            break;
        }
        const auto gain = static_cast<float>(std::pow(10.0, (kTargetLufs - loudness) / 20));
        for (float& x : interleaved) {
            x *= gain;
        }
        limit(interleaved, row.channels, row.rate);
    }
    return interleaved;
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path part = path.string() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + part.string());
        }
    }
    std::filesystem::rename(part, path);
}

}  // namespace
}  // namespace effects

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder> [button...]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    std::vector<int> buttons;
    for (int i = 2; i < argc; ++i) {
        buttons.push_back(std::atoi(argv[i]));
    }
    if (buttons.empty()) {
        for (int b = 1; b <= lumivox::kBuiltinSoundCount; ++b) {
            buttons.push_back(b);
        }
    }
    // Longest first, so the two workers finish together.
    std::sort(buttons.begin(), buttons.end(), [](int a, int b) {
        return lumivox::kBuiltinSounds[a - 1].dataBytes > lumivox::kBuiltinSounds[b - 1].dataBytes;
    });
    const auto started = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex printMutex;
    auto work = [&] {
        for (std::size_t k = next++; k < buttons.size() && !failed; k = next++) {
            const int button = buttons[k];
            if (button < 1 || button > lumivox::kBuiltinSoundCount) {
                failed = true;
                break;
            }
            const lumivox::BuiltinSoundRow& row = lumivox::kBuiltinSounds[button - 1];
            try {
                const auto bytes = effects::encodeWave(row, effects::makeEffect(row));
                char name[16];
                std::snprintf(name, sizeof name, "%02d.wav", button);
                effects::writeFile(folder / name, bytes);
            } catch (const std::exception& error) {
                std::lock_guard lock(printMutex);
                std::fprintf(stderr, "effect %d: %s\n", button, error.what());
                failed = true;
            }
        }
    };
    const unsigned workers = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < workers; ++i) {
        threads.emplace_back(work);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("effects: %zu made in %.2f s\n", buttons.size(), seconds);
    return failed ? 1 : 0;
}
