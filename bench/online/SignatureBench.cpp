// The update signature check over a large build: SHA-256 of the file and the
// Ed25519 check, as the updater runs them once the download has ended. The same
// program builds for Linux (OpenSSL) and Windows (libgcrypt); the Linux one runs
// the Windows one under Wine beside itself when given its path, and prints the
// ratio of the two.
//   online_signature_bench [MiB] [runs]
//   LUMIVOX_SIGNATURE_BENCH_WINDOWS=build/windows/bench/online/online_signature_bench.exe
//     build/release/bench/online/online_signature_bench 40 5   (one command line)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "online/UpdateSignature.hpp"

namespace fs = std::filesystem;
using namespace lumivox;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

#ifndef _WIN32
// The Windows build's figure, run under Wine: its "update_verify_ms" line.
double windowsFigure(const char* program, int mebibytes, int runs) {
    const std::string command = std::string(LUMIVOX_WINE_RUN) + " " + program + " " +
                                std::to_string(mebibytes) + " " + std::to_string(runs);
    std::FILE* pipe = popen(command.c_str(), "r");
    double figure = -1;
    char line[256];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
        std::printf("windows %s", line);
        std::sscanf(line, "update_verify_ms: %lf", &figure);
    }
    if (pipe != nullptr)
        pclose(pipe);
    return figure;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const int mebibytes = argc > 1 ? std::atoi(argv[1]) : 40;
    const int runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 5);
    const fs::path file = fs::temp_directory_path() / "lumivox-signature-bench.bin";
    {
        std::ofstream out(file, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (int m = 0; m < mebibytes; ++m) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(m) * 7) >> 3);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    std::ifstream keyFile(LUMIVOX_DEVELOPMENT_KEY_FILE, std::ios::binary);
    const std::string pem((std::istreambuf_iterator<char>(keyFile)), {});
    const auto digest = online::fileSha256(file.string());
    const auto signature = digest ? online::signUpdate(pem, *digest, "New", "1", "2") : std::nullopt;
    if (!signature) {
        std::fprintf(stderr, "cannot sign the test file\n");
        return 1;
    }
    const ByteData key = online::builtInUpdateKey();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const auto again = online::fileSha256(file.string());
        const bool good = again && online::verifyUpdate(key, *signature, *again, "New", "1", "2");
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        if (!good) {
            std::fprintf(stderr, "the signature did not verify\n");
            return 1;
        }
    }
    fs::remove(file);
    const double ms = median(times);
    std::printf("update_verify_ms: %.1f ms (%d MiB, median of %d)\n", ms, mebibytes, runs);
    std::printf("update_verify_rate: %.0f MiB/s\n", mebibytes / (ms / 1000));
#ifndef _WIN32
    if (const char* windows = std::getenv("LUMIVOX_SIGNATURE_BENCH_WINDOWS")) {
        const double other = windowsFigure(windows, mebibytes, runs);
        if (other > 0)
            std::printf("update_verify_windows_over_linux: %.2f\n", other / ms);
    }
#endif
    return 0;
}
