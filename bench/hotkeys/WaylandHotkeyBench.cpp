// From F3 pressed on a virtual keyboard (wtype) under a private headless sway,
// which runs `lumivox --phrase 3` for it, to the phrase present in a native Qt
// chat box and to the closing Enter there (the phrase sent): 20 presses, median
// and maximum. Beside it, `wtype` typing one character into the same box, which
// is the cost of starting wtype that every measure includes.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/HeadlessSway.hpp"
#include "tests/support/TestSupport.hpp"

namespace {

namespace fs = std::filesystem;
using namespace lumivox::testing;
using namespace std::chrono_literals;

const std::string kSeparator = "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";
const std::string kPhrase = "hello chat welcome to the stream thanks";  // 40 characters

long long nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

std::vector<std::pair<long long, std::size_t>> changes(const fs::path& folder) {
    std::vector<std::pair<long long, std::size_t>> list;
    std::istringstream in(wholeFile(folder / "changes.log"));
    long long ns = 0;
    std::size_t bytes = 0;
    while (in >> ns >> bytes) {
        list.emplace_back(ns, bytes);
    }
    return list;
}

// When the text first held at least `bytes` bytes after `since`; -1 if not within 10 s.
long long reached(const fs::path& folder, std::size_t bytes, long long since) {
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
        10s);
    return when;
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const std::size_t n = ms.size();
    const double median = n % 2 == 1 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    std::printf("%-44s n=%zu  median %7.1f ms  max %7.1f ms\n", what, n, median, ms.back());
}

}  // namespace

int main() {
    HeadlessSway sway;
    if (!sway.ok()) {
        std::fprintf(stderr, "sway did not start:\n%s\n", sway.log().c_str());
        return 1;
    }
    const uid_t user = getuid() == 0 ? 65534 : getuid();
    const fs::path config = sway.userFolder(".config/Lumivox");
    std::string file;
    for (int n = 1; n <= 12; ++n) {
        file += (n == 3 ? kPhrase : "p" + std::to_string(n)) + kSeparator;
    }
    std::ofstream(config / "快捷键配置.txt", std::ios::binary) << file;
    (void)!chown((config / "快捷键配置.txt").c_str(), user, user);
    const fs::path program = sway.reachable(LUMIVOX_PROGRAM);
    Subprocess lumivox(sway.asUser({program.string()}), sway.environment(), "/dev/null",
                       "/dev/null");
    if (!waitUntil([&] { return sway.focusedTitle() == "LumivoxV1.0"; }, 60s)) {
        return 1;
    }
    sway.run("swaymsg 'bindsym F3 exec " + program.string() + " --phrase 3'");
    const fs::path box = sway.userFolder("box");
    Subprocess target(sway.asUser({sway.reachable(PHRASE_TARGET).string(), box.string()}),
                      sway.environment(), "/dev/null", "/dev/null");
    if (!waitUntil([&] { return sway.focusedTitle() == "PhraseTarget"; }, 60s)) {
        return 1;
    }
    std::this_thread::sleep_for(1s);

    std::vector<double> present, sent, wtype;
    std::size_t bytes = 0;
    for (int i = 0; i < 21; ++i) {
        const long long start = nowNs();
        sway.run("wtype -k F3");
        const long long shown = reached(box, bytes + 1 + kPhrase.size(), start);
        const long long done = reached(box, bytes + 2 + kPhrase.size(), start);
        if (shown < 0 || done < 0) {
            std::fprintf(stderr, "press %d: the phrase did not arrive\n", i + 1);
            return 1;
        }
        bytes += 2 + kPhrase.size();
        if (i > 0) {  // the first press also sets the keyboard up
            present.push_back(static_cast<double>(shown - start) / 1e6);
            sent.push_back(static_cast<double>(done - start) / 1e6);
        }
        std::this_thread::sleep_for(200ms);
    }
    for (int i = 0; i < 20; ++i) {
        const long long start = nowNs();
        sway.run("wtype x");
        const long long done = reached(box, bytes + 1, start);
        if (done < 0) {
            return 1;
        }
        bytes += 1;
        wtype.push_back(static_cast<double>(done - start) / 1e6);
        std::this_thread::sleep_for(100ms);
    }
    std::printf("sway (headless), 40-character phrase, Qt chat box:\n");
    report("F3 to phrase present", present);
    report("F3 to closing Enter (phrase sent)", sent);
    report("wtype typing one character (start-up cost)", wtype);
    return 0;
}
