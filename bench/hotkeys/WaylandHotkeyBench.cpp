// From F3 pressed on a virtual keyboard (wtype) under a private headless sway,
// which runs `lumivox --phrase 3` for it, to the phrase present in a native Qt
// chat box and to the closing Enter there (the phrase sent): 20 presses, median
// and maximum. Beside it, `wtype` typing one character into the same box, which
// is the cost of starting wtype that every measure includes.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "bench/hotkeys/PhraseTiming.hpp"
#include "tests/support/HeadlessSway.hpp"
#include "tests/support/TestWebSite.hpp"
#include "tests/support/TestSupport.hpp"

namespace {

using namespace lumivox::bench;

const std::string kPhrase = "hello chat welcome to the stream thanks";  // 40 characters

}  // namespace

int main() {
    HeadlessSway sway;
    if (!sway.ok()) {
        std::fprintf(stderr, "sway did not start:\n%s\n", sway.log().c_str());
        return 1;
    }
    const uid_t user = getuid() == 0 ? 65534 : getuid();
    const fs::path config = sway.userFolder(".config/Lumivox");
    std::ofstream(config / "快捷键配置.txt", std::ios::binary) << phraseFile(kPhrase);
    (void)!chown((config / "快捷键配置.txt").c_str(), user, user);
    const fs::path program = sway.reachable(LUMIVOX_PROGRAM);
    auto env = sway.environment();
    env["LUMIVOX_SERVER"] = runOnVersionHost();  // no update offered, no failure message
    Subprocess lumivox(sway.asUser({program.string()}), env, "/dev/null", "/dev/null");
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

    // The first press also sets the route up (the keyboard, the portal's session).
    PressTimes times;
    std::size_t bytes = 0;
    if (!timePresses(
            20, [&] { sway.run("wtype -k F3"); }, box, kPhrase.size(), bytes, times)) {
        return 1;
    }
    std::vector<double> wtype;
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
    report("F3 to phrase present", times.presentMs);
    report("F3 to closing Enter (phrase sent)", times.sentMs);
    report("wtype typing one character (start-up cost)", wtype);
    return 0;
}
