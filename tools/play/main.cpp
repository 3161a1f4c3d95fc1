// lumivox-play: the sound service from the command line, for developers and tests.
//   lumivox-play [--loop] SOUND...            WAV or MIDI files, all started at once
//   lumivox-play --songs COUNT FILE...        song files through the song player
// Exits when every sound has ended (with --loop, on SIGINT or SIGTERM), after
// stopping everything. Exit status 1 when a sound was refused, 2 on wrong use.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/Encoding.hpp"
#include "base/ProgramEnd.hpp"
#include "sound/SoundService.hpp"

namespace {

volatile std::sig_atomic_t interrupted = 0;

int usage() {
    std::fprintf(stderr,
                 "usage: lumivox-play [--loop] SOUND...\n"
                 "       lumivox-play --songs COUNT FILE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return usage();
    }
    std::signal(SIGINT, [](int) { interrupted = 1; });
    std::signal(SIGTERM, [](int) { interrupted = 1; });
    lumivox::SoundService& service = lumivox::SoundService::instance();
    int status = 0;
    if (args[0] == "--songs") {
        if (args.size() < 3) {
            return usage();
        }
        char* end = nullptr;
        const long count = std::strtol(args[1].c_str(), &end, 10);
        if (*end != '\0') {
            return usage();
        }
        std::vector<lumivox::Text> paths;
        for (std::size_t i = 2; i < args.size(); ++i) {
            paths.push_back(lumivox::utf8ToGbk(args[i]));
        }
        service.playSongFiles(static_cast<int>(count), paths);
    } else {
        bool loop = false;
        std::size_t first = 0;
        if (args[0] == "--loop") {
            loop = true;
            first = 1;
        }
        if (first >= args.size()) {
            return usage();
        }
        for (std::size_t i = first; i < args.size(); ++i) {
            if (!service.playSound(lumivox::utf8ToGbk(args[i]), loop)) {
                std::fprintf(stderr, "lumivox-play: %s: not played\n", args[i].c_str());
                status = 1;
            }
        }
    }
    while (!interrupted && service.isSounding()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    lumivox::runProgramEndRoutines();
    return status;
}
