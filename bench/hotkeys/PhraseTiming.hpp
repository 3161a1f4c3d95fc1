#pragma once
// Timing a phrase into the Qt chat box of the hotkey benchmarks: the box notes
// each change of its text as "<monotonic ns> <bytes>" in changes.log.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.hpp"

namespace lumivox::bench {

namespace fs = std::filesystem;
using namespace lumivox::testing;
using namespace std::chrono_literals;

inline long long nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

inline std::vector<std::pair<long long, std::size_t>> changes(const fs::path& folder) {
    std::vector<std::pair<long long, std::size_t>> list;
    std::istringstream in(wholeFile(folder / "changes.log"));
    long long ns = 0;
    std::size_t bytes = 0;
    while (in >> ns >> bytes) {
        list.emplace_back(ns, bytes);
    }
    return list;
}

// When the text first held at least `bytes` bytes after `since`; -1 if not within the bound.
inline long long reached(const fs::path& folder, std::size_t bytes, long long since,
                         std::chrono::milliseconds bound = 10s) {
    long long when = -1;
    waitUntil(
        [&] {
            for (const auto& [ns, size] : changes(folder)) {
                if (ns >= since && size >= bytes) {
                    when = ns;
                    return true;
                }
            }
            return false;
        },
        bound);
    return when;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline void report(const char* what, const std::vector<double>& ms) {
    std::printf("%-44s n=%zu  median %7.1f ms  max %7.1f ms\n", what, ms.size(), median(ms),
                *std::max_element(ms.begin(), ms.end()));
}

// Times from `press` to the phrase present in the box and to the closing Enter
// there, for `presses` presses after one that sets the route up (not counted).
// The box starts with `bytes` bytes and ends with the phrases added. False, with
// a message, when a phrase did not arrive.
struct PressTimes {
    std::vector<double> presentMs, sentMs;
};
inline bool timePresses(int presses, const std::function<void()>& press, const fs::path& box,
                        std::size_t phraseBytes, std::size_t& bytes, PressTimes& times) {
    for (int i = 0; i <= presses; ++i) {
        const long long start = nowNs();
        press();
        const long long shown = reached(box, bytes + 1 + phraseBytes, start);
        const long long done = reached(box, bytes + 2 + phraseBytes, start);
        if (shown < 0 || done < 0) {
            std::fprintf(stderr, "press %d: the phrase did not arrive\n", i + 1);
            return false;
        }
        bytes += 2 + phraseBytes;
        if (i > 0) {
            times.presentMs.push_back(static_cast<double>(shown - start) / 1e6);
            times.sentMs.push_back(static_cast<double>(done - start) / 1e6);
        }
        std::this_thread::sleep_for(200ms);
    }
    return true;
}

// The twelve phrases with `phrase3` as phrase 3, each followed by the separator.
inline std::string phraseFile(const std::string& phrase3) {
    const std::string separator = "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";
    std::string file;
    for (int n = 1; n <= 12; ++n) {
        file += (n == 3 ? phrase3 : "p" + std::to_string(n)) + separator;
    }
    return file;
}

}  // namespace lumivox::bench
