#include "sound/SongPlayer.hpp"

#include <array>
#include <utility>

namespace lumivox {
namespace {

constexpr std::size_t kMaxKeyBytes = 512;

}  // namespace

SongPlayer::SongPlayer(const std::vector<Text>& files, int playCount)
    : passesLeft_(playCount < 0 ? 0 : playCount) {
    // The list ends at its first empty path.
    for (const Text& file : files) {
        if (file.empty()) {
            break;
        }
        files_.push_back(file);
    }
    if (!files_.empty()) {
        control_ = std::thread([this] { controlLoop(); });
    }
}

SongPlayer::~SongPlayer() {
    {
        std::unique_lock lock(mutex_);
        quit_ = true;
        discardPipeline(lock);
    }
    if (control_.joinable()) {
        events_.post(Quit{});
        control_.join();
    }
    // The control thread may have started a track before it saw the quit flag.
    std::unique_lock lock(mutex_);
    discardPipeline(lock);
}

bool SongPlayer::isActive() const {
    std::lock_guard lock(mutex_);
    if (pendingEvents_.load() > 0) {
        return true;
    }
    if (state_ == SongPlayState::stopped) {
        return false;
    }
    return !(pipeline_ && pipeline_->failed());
}

std::size_t SongPlayer::currentEntry() const {
    std::lock_guard lock(mutex_);
    return current_;
}

int SongPlayer::passesLeft() const {
    std::lock_guard lock(mutex_);
    return passesLeft_;
}

// With the lock: stops the pipeline's thread and its sound. The pipeline never
// waits for this lock, so joining it here cannot deadlock.
void SongPlayer::discardPipeline(std::unique_lock<std::mutex>&) {
    pipeline_.reset();
    state_ = SongPlayState::stopped;
}

void SongPlayer::newPlay(const std::shared_ptr<SongNotificationSink>& window,
                         const std::optional<Text>& key, int startValue) {
    std::unique_lock lock(mutex_);
    if (state_ == SongPlayState::playing) {
        discardPipeline(lock);  // a paused player keeps its pipeline and resumes it
    }
    if ((key && key->size() >= kMaxKeyBytes) || current_ >= files_.size()) {
        window_.reset();
        hasWindow_ = false;
        return;
    }
    window_ = window;
    hasWindow_ = window != nullptr;
    key_ = key.value_or(Text());
    newPlayLocked(lock, startValue);
}

// With the lock: builds the pipeline when there is none and starts it.
void SongPlayer::newPlayLocked(std::unique_lock<std::mutex>&, int startValue) {
    if (quit_) {
        return;
    }
    if (!pipeline_) {
        const std::uint64_t number = ++pipelineNumber_;
        pipeline_ = SongPipeline::open(files_[current_], [this, number] {
            ++pendingEvents_;
            events_.post(TrackEnded{number});
        });
        if (!pipeline_) {
            return;  // cannot be opened: stays stopped on this entry
        }
    }
    if (pipeline_->started()) {
        pipeline_->resume();
    } else {
        pipeline_->start(startValue > 0 ? static_cast<std::uint32_t>(startValue) : 0);
    }
    state_ = SongPlayState::playing;
}

void SongPlayer::setPauseState(int flag) {
    std::lock_guard lock(mutex_);
    if (flag != 0 && state_ == SongPlayState::playing && pipeline_) {
        pipeline_->pause();
        state_ = SongPlayState::paused;
    } else if (flag == 0 && state_ == SongPlayState::paused && pipeline_) {
        pipeline_->resume();
        state_ = SongPlayState::playing;
    }
}

bool SongPlayer::handleTrackEnded(std::uint64_t pipeline) {
    std::weak_ptr<SongNotificationSink> window;
    bool notify = false;
    {
        std::unique_lock lock(mutex_);
        if (quit_ || pipeline != pipelineNumber_ || !pipeline_) {
            return !quit_;  // a report from a pipeline already discarded
        }
        discardPipeline(lock);
        window = window_;
        notify = hasWindow_;
    }
    // Posted without the lock: the window's own code runs in the sink.
    if (notify) {
        if (auto sink = window.lock()) {
            sink->postMessage(kSongEndMessage, kSongEndParameter);
        }
    }
    std::unique_lock lock(mutex_);
    if (++current_ >= files_.size()) {
        current_ = 0;
        if (passesLeft_ > 0 && --passesLeft_ == 0) {
            return false;  // the last pass is over: stopped for good
        }
    }
    newPlayLocked(lock, 0);
    return true;
}

void SongPlayer::controlLoop() {
    for (;;) {
        ControlEvent event = events_.take();
        if (quit_ || std::holds_alternative<Quit>(event)) {
            return;
        }
        const bool goOn = handleTrackEnded(std::get<TrackEnded>(event).pipeline);
        --pendingEvents_;
        if (!goOn) {
            return;
        }
    }
}

namespace {

SongPlayer* createPlayer(const std::vector<Text>& files, int playCount) {
    return new SongPlayer(files, playCount);
}

void newPlay(SongPlayer* player, const std::shared_ptr<SongNotificationSink>& window,
             const std::optional<Text>& key, int startValue) {
    if (player != nullptr) {
        player->newPlay(window, key, startValue);
    }
}

void play(SongPlayer* player) { newPlay(player, nullptr, std::nullopt, 0); }

void setPauseState(SongPlayer* player, int flag) {
    if (player != nullptr) {
        player->setPauseState(flag);
    }
}

int getPlayState(SongPlayer* player) {
    if (player == nullptr) {
        return 0;
    }
    switch (player->state()) {
        case SongPlayState::paused: return -1;
        case SongPlayState::playing: return 1;
        default: return 0;
    }
}

void removePlayer(SongPlayer* player) { delete player; }

const std::array<std::pair<std::string_view, SongPlayerEntry>, 6> kEntries = {{
    {"CreatePlayer", CreatePlayerEntry{&createPlayer}},
    {"NewPlay", NewPlayEntry{&newPlay}},
    {"Play", PlayEntry{&play}},
    {"SetPauseState", SetPauseStateEntry{&setPauseState}},
    {"GetPlayState", GetPlayStateEntry{&getPlayState}},
    {"RemovePlayer", RemovePlayerEntry{&removePlayer}},
}};

}  // namespace

std::optional<SongPlayerEntry> findSongPlayerEntry(std::string_view name) {
    for (const auto& [entryName, entry] : kEntries) {
        if (entryName == name) {
            return entry;
        }
    }
    return std::nullopt;
}

}  // namespace lumivox
