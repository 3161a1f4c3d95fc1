#include "tests/e2e/sound/SoundFixtures.hpp"

#include <fstream>
#include <iterator>

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

std::pair<int, int> centreOf(const layout::WindowLayout& window, const std::string& name) {
    const auto controls = layout::expandControls(window);
    auto find = [&](const std::string& wanted) -> const layout::Control* {
        for (const layout::Control& control : controls) {
            if (control.name == wanted) {
                return &control;
            }
        }
        return nullptr;
    };
    const layout::Control* control = find(name);
    if (control == nullptr) {
        return {-1, -1};
    }
    int x = control->left + control->width / 2, y = control->top + control->height / 2;
    for (const layout::Control* parent = find(control->parent); parent != nullptr;
         parent = find(parent->parent)) {
        x += parent->left, y += parent->top;
    }
    return {x, y};
}

}  // namespace lumivox::testing
