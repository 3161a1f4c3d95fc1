// Wall time of a whole update on loopback: from the moment the program asks for
// the version file to the moment the new build runs, for a signed build of the
// given size (20 MiB by default) served by a private nginx, the real program
// under a private X server. The "download finished" box is confirmed as soon as
// it shows (polled every 20 ms); the time until it shows (download and
// signature check) is printed on its own.
//   update_bench [runs] [MiB]
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "online/BuildInfo.hpp"
#include "online/UpdateSignature.hpp"
#include "tests/e2e/online/OnlineProgram.hpp"
#include "tests/support/NginxServer.hpp"
#include "tests/support/TestWebSite.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;
using namespace lumivox;
using namespace lumivox::testing;

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const long mebibytes = argc > 2 ? std::max(1L, std::atol(argv[2])) : 20;
    TempDir www;
    // The new build (a real program: it is started from the verified file's
    // descriptor) writes "started-by" beside itself as it runs, then ends; the
    // file's modification time is the moment it ran.
    std::ifstream updated(LUMIVOX_UPDATED_BUILD, std::ios::binary);
    std::string build(std::istreambuf_iterator<char>(updated), {});
    std::mt19937 random(3);
    while (build.size() < static_cast<std::size_t>(mebibytes) << 20)
        build += static_cast<char>('a' + random() % 26);
    std::ofstream(www / "new.bin", std::ios::binary) << build;
    NginxServer nginx(www.path());
    if (!nginx.ok()) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    std::ifstream keyFile(LUMIVOX_DEVELOPMENT_KEY_FILE);
    const std::string pem(std::istreambuf_iterator<char>(keyFile), {});
    const auto signature =
        online::signUpdate(pem, *online::fileSha256((www / "new.bin").string()), "New",
                           online::builtInVersion(), "999.0");
    TestWebSite site;  // the version file, so the moment of its request is seen
    SiteReply version;
    version.body = std::string(online::builtInVersion()) + "---" + nginx.url("/new.bin") +
                   "---New---" + signature.value_or("") + "---999.0";
    site.serve("/111.txt", version);

    std::vector<double> total, untilBox;
    int failed = 0;
    for (int run = 0; run < runs; ++run) {
        OnlineProgram program;
        if (!program.displayOk())
            return 1;
        const std::size_t asked = site.requestsFor("/111.txt").size();
        program.start(site.host());
        if (!waitUntil([&] { return site.requestsFor("/111.txt").size() > asked; },
                       std::chrono::seconds(60))) {
            ++failed;
            continue;
        }
        const Clock::time_point checked = Clock::now();
        if (!waitUntil([&] { return program.geometry("提示").viewable; },
                       std::chrono::seconds(120))) {
            ++failed;
            continue;
        }
        const Clock::time_point box = Clock::now();
        program.pressEnterIn("提示");
        const fs::path ran = program.installFolder() / "started-by";
        if (!waitUntil([&] { return fs::exists(ran) && fs::file_size(ran) > 0; },
                       std::chrono::seconds(60)) ||
            program.process().wait(std::chrono::seconds(30)) != 0) {
            ++failed;
            continue;
        }
        struct stat info {};
        ::stat(ran.c_str(), &info);
        const Clock::time_point started{std::chrono::duration_cast<Clock::duration>(
            std::chrono::seconds(info.st_mtim.tv_sec) +
            std::chrono::nanoseconds(info.st_mtim.tv_nsec))};
        total.push_back(seconds(checked, started));
        untilBox.push_back(seconds(checked, box));
        if (std::getenv("LUMIVOX_BENCH_VERBOSE"))
            std::fprintf(stderr, "run %d: %.3f s to the box, %.3f s to the new build\n", run,
                         untilBox.back(), total.back());
    }
    std::printf("update_build_size: %ld MiB\nruns: %d\nfailed_runs: %d count\n", mebibytes, runs,
                failed);
    std::printf("check_to_box_median: %.3f s\n", median(untilBox));
    std::printf("check_to_new_build_running_median: %.3f s\n", median(total));
    return failed == 0 ? 0 : 1;
}
