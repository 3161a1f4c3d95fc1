// From `lumivox --phrase 3` (what a KDE shortcut runs for F3), from F3 registered
// with KDE's shortcut service, and from F3 bound through the desktop portal's
// GlobalShortcuts (a second copy of the program, asked to use the portal), each
// pressed through the portal, under a private headless KWin, whose compositor has
// no virtual keyboard so that the program's keys go through the RemoteDesktop
// portal, to the phrase present in a native Qt chat box and to the closing Enter
// there (the phrase sent): 20 presses each, median and maximum. Beside them what
// each trigger costs by itself: `lumivox --stop` answered by the running copy, and
// the input helper opening its portal session without a key.
#include <cstdio>
#include <fstream>
#include <thread>

#include "bench/hotkeys/PhraseTiming.hpp"
#include "tests/e2e/hotkeys/KdeHotkeysOn.hpp"
#include "tests/support/HeadlessKwin.hpp"
#include "tests/support/TestWebSite.hpp"

namespace {

using namespace lumivox::bench;

const std::string kPhrase = "hello chat welcome to the stream thanks";  // 40 characters

}  // namespace

int main() {
    const std::string missing = HeadlessKwin::missingPackages();
    if (!missing.empty()) {
        std::fprintf(stderr, "KDE's packages are not installed:%s\n", missing.c_str());
        return 1;
    }
    HeadlessKwin kwin;
    if (!kwin.ok()) {
        std::fprintf(stderr, "KWin did not start:\n%s\n", kwin.log().c_str());
        return 1;
    }
    std::ofstream(kwin.folder(".config/Lumivox") / "快捷键配置.txt", std::ios::binary)
        << phraseFile(kPhrase);
    const std::string program = LUMIVOX_PROGRAM;
    auto env = kwin.environment();
    env["LUMIVOX_SERVER"] = runOnVersionHost();  // no update offered, no failure message
    Subprocess lumivox({program}, env, "/dev/null", "/dev/null");
    if (!waitUntil([&] { return kwin.run(program + " --stop 2>/dev/null").status == 0; }, 60s)) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    if (!switchHotkeysOn(kwin)) {
        std::fprintf(stderr, "the hotkeys could not be switched on\n");
        return 1;
    }
    const fs::path box = kwin.folder("box");
    Subprocess target({PHRASE_TARGET, box.string()}, kwin.environment(), "/dev/null",
                      box / "stderr.txt");
    if (!waitUntil([&] { return kwin.focusedTitle() == "PhraseTarget"; }, 60s)) {
        std::fprintf(stderr, "the chat box did not get the focus (it is on \"%s\")\n",
                     kwin.focusedTitle().c_str());
        return 1;
    }
    std::this_thread::sleep_for(1s);

    // The first press also sets the route up (the keyboard, the portal's session).
    PressTimes times;
    std::size_t bytes = 0;
    if (!timePresses(
            20, [&] { kwin.run(program + " --phrase 3"); }, box, kPhrase.size(), bytes, times)) {
        return 1;
    }
    // F3 through KDE's shortcut service, pressed through a portal session that
    // the input helper opens for each press.
    PressTimes f3;
    if (!timePresses(
            20, [&] { kwin.input("key 61"); }, box, kPhrase.size(), bytes, f3)) {
        return 1;
    }
    // The same F3 through the portal's GlobalShortcuts: the first copy ends (its
    // keys with it), a second one binds them through the portal.
    lumivox.terminate();
    lumivox.wait(10s);
    env["LUMIVOX_DESKTOP_SHORTCUTS"] = "portal";
    Subprocess second({program}, env, "/dev/null", "/dev/null");
    PressTimes portalF3;
    if (!waitUntil([&] { return kwin.run(program + " --stop 2>/dev/null").status == 0; }, 60s) ||
        !switchHotkeysOn(kwin) || !focus(kwin, "PhraseTarget")) {
        std::fprintf(stderr, "the second copy's hotkeys could not be switched on\n");
        return 1;
    }
    std::this_thread::sleep_for(1s);
    if (!timePresses(
            20, [&] { kwin.input("key 61"); }, box, kPhrase.size(), bytes, portalF3)) {
        return 1;
    }
    std::vector<double> command, session;
    for (int i = 0; i < 20; ++i) {
        long long start = nowNs();
        kwin.run(program + " --stop");
        command.push_back(static_cast<double>(nowNs() - start) / 1e6);
        start = nowNs();
        kwin.input("");
        session.push_back(static_cast<double>(nowNs() - start) / 1e6);
    }
    std::printf(
        "KWin 5.27 (headless), keys through the RemoteDesktop portal, 40-character "
        "phrase, Qt chat box:\n");
    report("--phrase 3 to phrase present", times.presentMs);
    report("--phrase 3 to closing Enter (phrase sent)", times.sentMs);
    report("lumivox --stop answered (start-up cost)", command);
    report("F3 (portal helper) to phrase present", f3.presentMs);
    report("F3 (portal helper) to closing Enter", f3.sentMs);
    report("F3 (GlobalShortcuts portal) to phrase present", portalF3.presentMs);
    report("F3 (GlobalShortcuts portal) to closing Enter", portalF3.sentMs);
    report("portal helper, session only (its cost)", session);
    return 0;
}
