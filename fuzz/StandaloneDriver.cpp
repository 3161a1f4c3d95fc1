// Replays a fuzz target without libFuzzer: every file of the folders (or files)
// given as arguments, then LUMIVOX_FUZZ_RUNS (default 20000) inputs made from
// them by deterministic mutations: bit flips, byte changes, cuts, splices and
// interesting values. A crash or sanitizer report fails the run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Input = std::vector<uint8_t>;

std::vector<Input> loadSeeds(int argc, char** argv) {
    std::vector<Input> seeds;
    auto load = [&](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    load(entry.path());
                }
            }
        } else if (std::filesystem::is_regular_file(arg)) {
            load(arg);
        }
    }
    seeds.push_back({});
    return seeds;
}

Input mutate(const std::vector<Input>& seeds, std::mt19937& rng) {
    Input input = seeds[rng() % seeds.size()];
    const int steps = 1 + rng() % 8;
    for (int s = 0; s < steps; ++s) {
        switch (rng() % 7) {
            case 0:  // flip a bit
                if (!input.empty()) input[rng() % input.size()] ^= uint8_t(1u << (rng() % 8));
                break;
            case 1:  // set a byte to an interesting value
                if (!input.empty()) {
                    static const uint8_t values[] = {0, 1, 0x7f, 0x80, 0xff, '\r', '\n', ' ', '%', '/'};
                    input[rng() % input.size()] = values[rng() % sizeof values];
                }
                break;
            case 2:  // cut the tail
                if (!input.empty()) input.resize(rng() % input.size());
                break;
            case 3:  // insert random bytes
            {
                size_t at = input.empty() ? 0 : rng() % (input.size() + 1);
                size_t n = 1 + rng() % 16;
                for (size_t i = 0; i < n; ++i) input.insert(input.begin() + at, uint8_t(rng()));
                break;
            }
            case 4:  // splice with another seed
            {
                const Input& other = seeds[rng() % seeds.size()];
                if (!other.empty()) {
                    size_t from = rng() % other.size();
                    size_t at = input.empty() ? 0 : rng() % input.size();
                    input.resize(at);
                    input.insert(input.end(), other.begin() + from, other.end());
                }
                break;
            }
            case 5:  // write a 32-bit little-endian extreme
                if (input.size() >= 4) {
                    static const uint32_t values[] = {0, 1, 0x7fffffff, 0x80000000, 0xffffffff, 0xfffffffe};
                    uint32_t v = values[rng() % 6];
                    size_t at = rng() % (input.size() - 3);
                    for (int b = 0; b < 4; ++b) input[at + b] = uint8_t(v >> (8 * b));
                }
                break;
            default:  // duplicate a block
                if (input.size() > 1 && input.size() < (1u << 20)) {
                    size_t from = rng() % input.size();
                    size_t n = 1 + rng() % (input.size() - from);
                    Input block(input.begin() + from, input.begin() + from + n);
                    input.insert(input.begin() + rng() % input.size(), block.begin(), block.end());
                }
                break;
        }
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Input> seeds = loadSeeds(argc, argv);
    for (const Input& seed : seeds) {
        LLVMFuzzerTestOneInput(seed.data(), seed.size());
    }
    const char* runsText = std::getenv("LUMIVOX_FUZZ_RUNS");
    long runs = runsText ? std::atol(runsText) : 20000;
    std::mt19937 rng(12345);
    for (long i = 0; i < runs; ++i) {
        Input input = mutate(seeds, rng);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%zu seeds, %ld mutated inputs: no fault\n", seeds.size(), runs);
    return 0;
}
