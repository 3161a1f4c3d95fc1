#pragma once
// Sound files made at test time with sox and lame, and a private sound server
// with its monitor recorded, shared by every test of one binary.
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "base/Types.hpp"
#include "forms/Layout.hpp"
#include "tests/support/MainWindowPoints.hpp"  // centreOf, for the tests that click
#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/SoundRecording.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

class SoundFixtures {
public:
    // Starts the server (and points this process at it) on first use.
    static SoundFixtures& get();

    bool ok() const { return ok_; }
    const PulseServer& server() const { return *server_; }
    // One recorder for the whole program: an idle null sink first sends its
    // monitor's samples after about two seconds, so it is started only once.
    SoundRecorder& recorder();
    // A WAV file of a sine tone: "-r 11025 -b 8 -c 1" style sox options.
    std::filesystem::path tone(const std::string& name, const std::string& soxFormat, double seconds,
                               int hz);
    // An MP3 file of a sine tone (44,100 Hz stereo).
    std::filesystem::path song(const std::string& name, double seconds, int hz);
    // A MIDI file of one note: flute (program 73), A4 from the first tick for
    // half a second.
    std::filesystem::path fluteNote(const std::string& name);
    std::filesystem::path path(const std::string& name) const { return dir_ / name; }

private:
    SoundFixtures();
    TempDir dir_;
    std::unique_ptr<PulseServer> server_;
    std::unique_ptr<SoundRecorder> recorder_;  // stopped before the server
    bool ok_ = false;
};

ByteData readBytes(const std::filesystem::path& path);

// Starts the real program (`program`) on that display with that sound server's
// environment and the data folder under `config`, its output in `work`; null
// when its main window did not show within a minute.
std::unique_ptr<Subprocess> startProgramWindow(const std::string& program,
                                               const PrivateDisplay& display,
                                               const std::map<std::string, std::string>& sound,
                                               const std::filesystem::path& config,
                                               const std::filesystem::path& work);

}  // namespace lumivox::testing
