#include "tests/e2e/sound/SoundFixtures.hpp"

#include <fstream>
#include <iterator>
#include <thread>

namespace lumivox::testing {

SoundFixtures& SoundFixtures::get() {
    // Destroyed as the test program exits, which stops the server.
    static SoundFixtures fixtures;
    return fixtures;
}

SoundFixtures::SoundFixtures() : server_(std::make_unique<PulseServer>()) {
    ok_ = server_->ok();
    if (ok_) {
        server_->useInThisProcess();
    }
}

SoundRecorder& SoundFixtures::recorder() {
    if (!recorder_) {
        recorder_ = std::make_unique<SoundRecorder>();
    }
    return *recorder_;
}

std::filesystem::path SoundFixtures::tone(const std::string& name, const std::string& soxFormat,
                                          double seconds, int hz) {
    const auto file = dir_ / name;
    if (!std::filesystem::exists(file)) {
        runCommand("sox -n " + soxFormat + " '" + file.string() + "' synth " +
                   std::to_string(seconds) + " sine " + std::to_string(hz) + " vol 0.5 2>&1");
    }
    return file;
}

std::filesystem::path SoundFixtures::fluteNote(const std::string& name) {
    const auto file = dir_ / name;
    const std::string track = {0x00, '\xC0', 73, 0x00, '\x90', 69, 110, '\x83', 0x60,
                               '\x80', 69, 0x00, 0x00, '\xFF', 0x2F, 0x00};
    std::ofstream(file, std::ios::binary)
        << std::string("MThd\0\0\0\6\0\0\0\1\x01\xE0MTrk\0\0\0", 21)
        << static_cast<char>(track.size()) << track;
    return file;
}

std::filesystem::path SoundFixtures::song(const std::string& name, double seconds, int hz) {
    const auto file = dir_ / name;
    if (!std::filesystem::exists(file)) {
        const auto wave = tone(name + ".wav", "-r 44100 -b 16 -c 2", seconds, hz);
        runCommand("lame --quiet -b 128 '" + wave.string() + "' '" + file.string() + "' 2>&1");
    }
    return file;
}

ByteData readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::unique_ptr<Subprocess> startProgramWindow(const std::string& program,
                                               const PrivateDisplay& display,
                                               const std::map<std::string, std::string>& sound,
                                               const std::filesystem::path& config,
                                               const std::filesystem::path& work) {
    auto env = display.environment();
    for (const auto& [key, value] : sound) {
        env[key] = value;
    }
    env["XDG_CONFIG_HOME"] = config.string();
    auto started = std::make_unique<Subprocess>(std::vector<std::string>{program}, env,
                                                work / "out.txt", work / "err.txt");
    if (!waitUntil(
            [&] { return !display.x("xdotool search --onlyvisible --name LumivoxV1.0").empty(); },
            std::chrono::seconds(60))) {
        return nullptr;
    }
    // Painted once the tab row shows (the banner and tabs come first).
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return started;
}

}  // namespace lumivox::testing
