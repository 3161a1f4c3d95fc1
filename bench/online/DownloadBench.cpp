// Wall time and peak private memory of one large download from a private nginx
// on loopback: the engine with five connections (default and the updater's
// block size), curl (one connection), aria2c -x5 -s5 and axel -n5. With a third
// argument nginx limits every connection to that rate (limit_rate, "2m"), the
// case where segmenting pays. Several runs
// each, interleaved; medians (and the best run), and ratios against the peers
// of the same run.
// Private memory is the process's anonymous memory (the Anonymous line of
// /proc/<pid>/smaps_rollup), sampled every 20 ms: the target file's pages, mapped
// or cached, are not counted for anyone. Peak resident memory is the kernel's
// own high-water mark of the process (wait4's ru_maxrss): there a mapped
// target's pages do count.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/NginxServer.hpp"
#include "tests/support/TestSupport.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Sample {
    double seconds = 0;
    long anonKiB = 0;
    long peakRssKiB = 0;
    bool ok = false;
};

long anonymousKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Anonymous:", 0) == 0)
            return std::atol(line.c_str() + 10);
    }
    return 0;
}

// Runs `argv`, sampling its memory until it exits; ok when it exits with 0.
Sample measure(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Sample sample;
    const auto start = Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        return sample;
    posix_spawn_file_actions_destroy(&actions);
    std::atomic<bool> done{false};
    int status = -1;
    Clock::time_point end;
    rusage usage{};
    std::thread waiter([&] {
        wait4(pid, &status, 0, &usage);
        end = Clock::now();
        done = true;
    });
    while (!done) {
        sample.anonKiB = std::max(sample.anonKiB, anonymousKiB(pid));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    waiter.join();
    sample.seconds = std::chrono::duration<double>(end - start).count();
    sample.peakRssKiB = usage.ru_maxrss;
    sample.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return sample;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

bool sameFile(const fs::path& a, const fs::path& b) {
    return lumivox::testing::runCommand("cmp -s '" + a.string() + "' '" + b.string() + "'")
               .status == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const long mebibytes = argc > 2 ? std::max(1L, std::atol(argv[2])) : 256;
    const std::string rate = argc > 3 ? argv[3] : "";

    lumivox::testing::TempDir www;
    lumivox::testing::TempDir out;
    const fs::path source = www.path() / "file.bin";
    {
        std::ofstream file(source, std::ios::binary);
        std::mt19937_64 random(7);
        std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
        for (long i = 0; i < mebibytes; ++i) {
            for (auto& word : block)
                word = random();
            file.write(reinterpret_cast<const char*>(block.data()),
                       static_cast<std::streamsize>(block.size() * 8));
        }
    }
    lumivox::testing::NginxServer nginx(www.path(), rate.empty() ? "" : "limit_rate " + rate + ";");
    if (!nginx.ok()) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    const std::string url = nginx.url("/file.bin");
    const std::string target = (out.path() / "file.bin").string();
    std::map<std::string, std::vector<std::string>> peers = {
        {"engine_5conn", {LUMIVOX_GET_PATH, url, target, "5", "--quiet"}},
        {"engine_updater",
         {LUMIVOX_GET_PATH, url, target, "5", "--block-size", "10240", "--quiet"}},
        {"curl", {"/usr/bin/curl", "-s", "-o", target, url}},
        {"aria2c",
         {"/usr/bin/aria2c", "-x5", "-s5", "-q", "--allow-overwrite=true",
          "--auto-file-renaming=false", "-d", out.path().string(), "-o", "file.bin", url}},
        {"axel", {"/usr/bin/axel", "-n", "5", "-q", "-o", target, url}},
    };
    // The Windows build of the engine under Wine, when its lumivox-get.exe is named
    // (build/windows/tools/get/lumivox-get.exe); its memory includes Wine's own.
    if (const char* windowsGet = std::getenv("LUMIVOX_GET_WINDOWS")) {
        peers["engine_wine_5conn"] = {LUMIVOX_WINE_RUN, windowsGet, url, target, "5", "--quiet"};
    }
    std::map<std::string, std::vector<double>> seconds, kib, rss;
    int wrong = 0;
    // Interleaved, so that a slow moment of the machine falls on every peer alike,
    // in a new order each run: what ran just before (the pages it freed, the
    // blocks it released) changes the cost of a run, so no peer keeps one neighbour.
    std::vector<std::pair<std::string, std::vector<std::string>>> order(peers.begin(), peers.end());
    std::mt19937 shuffler(11);
    for (int run = 0; run < runs; ++run) {
        std::shuffle(order.begin(), order.end(), shuffler);
        for (const auto& [name, command] : order) {
            std::error_code ignored;
            fs::remove(target, ignored);
            fs::remove(target + ".st", ignored);
            fs::remove(target + ".aria2", ignored);
            ::sync();  // the previous run's dirty pages are not this one's cost
            Sample sample = measure(command);
            if (!sample.ok || !sameFile(source, target)) {
                ++wrong;
                std::fprintf(stderr, "%s run %d failed or differs\n", name.c_str(), run);
                continue;
            }
            if (std::getenv("LUMIVOX_BENCH_VERBOSE")) {
                std::fprintf(stderr, "run %d %s %.3f s %ld KiB %ld KiB rss\n", run,
                             name.c_str(), sample.seconds, sample.anonKiB, sample.peakRssKiB);
            }
            seconds[name].push_back(sample.seconds);
            kib[name].push_back(static_cast<double>(sample.anonKiB));
            rss[name].push_back(static_cast<double>(sample.peakRssKiB));
        }
    }
    std::printf("download_size: %ld MiB\nruns: %d\nfailed_or_different_runs: %d count\n", mebibytes,
                runs, wrong);
    if (!rate.empty())
        std::printf("per_connection_limit: %s\n", rate.c_str());
    for (const auto& [name, command] : peers) {
        std::printf("%s_wall_median: %.3f s\n", name.c_str(), median(seconds[name]));
        std::printf("%s_wall_best: %.3f s\n", name.c_str(),
                    seconds[name].empty()
                        ? 0.0
                        : *std::min_element(seconds[name].begin(), seconds[name].end()));
        std::printf("%s_private_peak_median: %.0f KiB\n", name.c_str(), median(kib[name]));
        std::printf("%s_peak_rss_median: %.0f KiB\n", name.c_str(), median(rss[name]));
    }
    auto ratio = [&](const char* a, const char* b, auto& table, const char* what) {
        double denominator = median(table[b]);
        std::printf("%s_vs_%s_%s_ratio: %.3f x\n", a, b, what,
                    denominator > 0 ? median(table[a]) / denominator : 0.0);
    };
    std::map<std::string, std::vector<double>> best;
    for (const auto& [name, values] : seconds) {
        if (!values.empty())
            best[name] = {*std::min_element(values.begin(), values.end())};
    }
    for (const char* engine : {"engine_5conn", "engine_updater"}) {
        for (const char* peer : {"curl", "aria2c", "axel"}) {
            ratio(engine, peer, seconds, "wall");
            ratio(engine, peer, best, "best_wall");
            ratio(engine, peer, kib, "private");
            ratio(engine, peer, rss, "peak_rss");
        }
    }
    return wrong == 0 ? 0 : 1;
}
