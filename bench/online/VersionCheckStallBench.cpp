// The GUI's longest stall while the version check waits for a slow server: the
// real program under a private X server reads a version file that a test site
// answers after a delay (10 s by default; the file names another version, so
// the program runs on). Meanwhile a link is clicked every 200 ms; an xdg-open
// stand-in notes when each click was handled. The stall is the longest time
// from a click to its page being opened.
//   version_check_stall_bench [delay seconds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/e2e/online/OnlineProgram.hpp"
#include "tests/support/TestWebSite.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;
using namespace lumivox::testing;

double epochSeconds(Clock::time_point at) {
    return std::chrono::duration<double>(at.time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int delaySeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    TempDir bin;
    const fs::path opened = bin / "opened";
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\ndate +%s.%N >> '" << opened.string() << "'\n";
    fs::permissions(bin / "xdg-open", fs::perms(0755));

    TestWebSite site;
    SiteReply reply;
    reply.body = "0---http://127.0.0.1/none---Other";
    reply.stall = std::chrono::seconds(delaySeconds);
    site.serve("/111.txt", reply);
    OnlineProgram program;
    if (!program.displayOk())
        return 1;
    program.start(site.host(), {{"PATH", bin.path().string() + ":" + std::getenv("PATH")}});
    if (!program.waitForWindow("LumivoxV1.0", 60) ||
        !waitUntil([&] { return !site.requestsFor("/111.txt").empty(); },
                   std::chrono::seconds(60))) {
        std::fprintf(stderr, "the program did not ask for the version file\n%s\n",
                     program.log().c_str());
        return 1;
    }
    std::vector<double> clicks;
    const auto asked = Clock::now();
    while (Clock::now() - asked < std::chrono::seconds(delaySeconds + 2)) {
        clicks.push_back(epochSeconds(Clock::now()));
        program.click("LumivoxV1.0", 578, 94);  // 特定按钮6: opens the home page
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    waitUntil(
        [&] {
            std::ifstream in(opened);
            return std::count(std::istreambuf_iterator<char>(in), {}, '\n') >=
                   static_cast<long>(clicks.size());
        },
        std::chrono::seconds(delaySeconds + 30));
    std::ifstream in(opened);
    std::vector<double> handled;
    for (double at; in >> at;)
        handled.push_back(at);
    double longest = 0;
    for (std::size_t i = 0; i < std::min(clicks.size(), handled.size()); ++i)
        longest = std::max(longest, handled[i] - clicks[i]);
    std::printf("version_file_delay: %d s\nclicks: %zu count\nclicks_handled: %zu count\n",
                delaySeconds, clicks.size(), handled.size());
    std::printf("gui_longest_stall: %.3f s\n", longest);
    return handled.size() == clicks.size() ? 0 : 1;
}
