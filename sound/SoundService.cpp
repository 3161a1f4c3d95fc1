#include "sound/SoundService.hpp"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "base/Encoding.hpp"
#include "base/ProgramEnd.hpp"
#include "platform/Files.hpp"
#include "platform/SoundRouting.hpp"

namespace lumivox {
namespace {

bool isWave(std::span<const std::uint8_t> sound) {
    return sound.size() >= 12 && std::memcmp(sound.data(), "RIFF", 4) == 0 &&
           std::memcmp(sound.data() + 8, "WAVE", 4) == 0;
}

bool isMidi(std::span<const std::uint8_t> sound) {
    return sound.size() > 4 && std::memcmp(sound.data(), "MThd", 4) == 0;
}

// The whole file, or nothing when it is not a readable regular file.
std::optional<ByteData> readSoundFile(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(platform::openFileForReading(path),
                                                         &std::fclose);
    struct stat status {};
    if (!file || fstat(fileno(file.get()), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    ByteData contents(static_cast<std::size_t>(status.st_size));
    const std::size_t got = std::fread(contents.data(), 1, contents.size(), file.get());
    if (std::ferror(file.get())) {
        return std::nullopt;
    }
    contents.resize(got);
    return contents;
}

}  // namespace

SoundService& SoundService::instance() {
    // Never destroyed: voices may still be ending while static objects go; the
    // program-end routine below stops them and waits first.
    static SoundService* service = [] {
        // Effects (and MIDI songs) go where the host's route sends effects.
        auto* made = new SoundService([](std::span<const std::uint8_t> format,
                                         platform::WaveOutDoneCallback callback, void* context) {
            return platform::openRoutedWaveOut(format, callback, context,
                                               platform::SoundKind::effect);
        });
        addProgramEndRoutine([made] {
            made->stopAllSounds();
            made->waitForVoices();
        });
        return made;
    }();
    return *service;
}

SoundService::SoundService(platform::WaveOutOpener openDevice)
    : openDevice_(std::move(openDevice)), midi_(openDevice_) {}

SoundService::~SoundService() {
    stopAllSounds();
    waitForVoices();
}

bool SoundService::playSound(std::span<const std::uint8_t> sound, bool loop) {
    if (sound.empty()) {
        return false;
    }
    if (isWave(sound)) {
        return WaveVoice::start(sound, loop, voices_, openDevice_);
    }
    if (isMidi(sound)) {
        midi_.play(sound, loop);
        return true;
    }
    return false;
}

bool SoundService::playSound(const Text& fileName, bool loop) {
    if (fileName.empty()) {
        return false;
    }
    const std::optional<ByteData> contents = readSoundFile(gbkToUtf8(fileName));
    if (!contents) {
        return false;
    }
    return playSound(std::span<const std::uint8_t>(*contents), loop);
}

void SoundService::removeSongPlayer() {
    SongPlayer* player = nullptr;
    {
        std::lock_guard lock(songMutex_);
        std::swap(player, song_);
    }
    if (player != nullptr) {
        if (const auto remove = songPlayerEntry<RemovePlayerEntry>("RemovePlayer")) {
            remove->call(player);
        }
    }
}

void SoundService::stopAllSounds() {
    removeSongPlayer();
    midi_.stop();
    voices_.stopAll();
}

void SoundService::playSongFiles(int playCount, const std::vector<Text>& paths) {
    removeSongPlayer();
    if (playCount == 0) {
        return;
    }
    const int passes = playCount < 0 ? 0 : playCount;
    std::vector<Text> list;
    for (const Text& path : paths) {
        if (!path.empty()) {
            list.push_back(path);
        }
    }
    if (list.empty()) {
        return;
    }
    const auto create = songPlayerEntry<CreatePlayerEntry>("CreatePlayer");
    const auto newPlay = songPlayerEntry<NewPlayEntry>("NewPlay");
    if (!create || !newPlay) {
        return;
    }
    SongPlayer* player = create->call(list, passes);
    if (player == nullptr) {
        return;
    }
    // Under the lock, so that a stop from another thread (program end) cannot
    // remove the player in between.
    std::lock_guard lock(songMutex_);
    song_ = player;
    newPlay->call(player, nullptr, std::nullopt, 0);
}

void SoundService::waitForVoices() { voices_.waitForAll(); }

bool SoundService::isSounding() const {
    if (voices_.size() > 0 || midi_.isPlaying()) {
        return true;
    }
    std::lock_guard lock(songMutex_);
    return song_ != nullptr && song_->isActive();
}

bool playSound(std::span<const std::uint8_t> sound, bool loop) {
    return SoundService::instance().playSound(sound, loop);
}

bool playSound(const Text& fileName, bool loop) {
    return SoundService::instance().playSound(fileName, loop);
}

void stopAllSounds() { SoundService::instance().stopAllSounds(); }

void playSongFiles(int playCount, const std::vector<Text>& paths) {
    SoundService::instance().playSongFiles(playCount, paths);
}

}  // namespace lumivox
