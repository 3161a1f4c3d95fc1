// lumivox-get URL TARGET [CONNECTIONS] [--block-size N] [--speed-limit N] [--quiet]
// Runs one download with the engine and prints its messages and events as they
// come (UTF-8). Exit status 0 when no segment thread ended with an error,
// 1 when one did, 2 for wrong arguments or a task that could not start.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Encoding.hpp"
#include "base/Sync.hpp"
#include "online/Download.hpp"

using namespace lumivox;
using namespace lumivox::online;

int main(int argc, char** argv) {
    std::string positional[3];
    int positionals = 0;
    TaskParam param;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--block-size") == 0 && i + 1 < argc) {
            param.blockSize = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--speed-limit") == 0 && i + 1 < argc) {
            param.speedLimit = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--quiet") == 0) {
            quiet = true;
        } else if (positionals < 3) {
            positional[positionals++] = argv[i];
        } else {
            positionals = 99;
        }
    }
    if (positionals < 2 || positionals > 3) {
        std::fprintf(stderr,
                     "usage: lumivox-get URL TARGET [CONNECTIONS] [--block-size N] "
                     "[--speed-limit N] [--quiet]\n");
        return 2;
    }
    param.url = utf8ToGbk(positional[0]);
    param.localFile = utf8ToGbk(positional[1]);
    param.connectionCount = positionals == 3 ? std::atoi(positional[2].c_str()) : 1;

    Event ended;
    std::atomic<bool> failed{false};
    param.logCallback = [quiet](Download*, const Text& stamp, const Text& message, int level) {
        if (quiet && level != DownloadLog::kError)
            return;
        std::printf("%s [%d] %s\n", stamp.c_str(), level, gbkToUtf8(message).c_str());
        std::fflush(stdout);
    };
    param.eventCallback = [&](int code, Download*, std::int64_t value, std::int64_t extra,
                              Text& path) {
        if (code == DownloadEvent::kThreadFailed)
            failed = true;
        if (!quiet && code != DownloadEvent::kReceived) {
            std::printf("event %d value %lld extra %lld%s%s\n", code, static_cast<long long>(value),
                        static_cast<long long>(extra), path.empty() ? "" : " path ",
                        gbkToUtf8(path).c_str());
            std::fflush(stdout);
        }
        if (code == DownloadEvent::kTaskEnded)
            ended.set();
        return 0;
    };
    Download download;
    if (!download.startTask(param)) {
        std::fprintf(stderr, "the download could not start\n");
        return 2;
    }
    ended.wait();
    return failed ? 1 : 0;
}
