#pragma once
// The song file player: a list of MPEG-audio files played one after another a
// given number of passes, on threads of its own. Reached through six entry
// points looked up by name.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "base/Sync.hpp"
#include "base/Types.hpp"
#include "sound/SongPipeline.hpp"

namespace lumivox {

// The window a player notifies at the end of each track (the shell implements
// it). A notification reaches it only while the caller still holds it.
class SongNotificationSink {
public:
    virtual ~SongNotificationSink() = default;
    virtual void postMessage(std::uint32_t message, std::uintptr_t firstParameter) = 0;
};

constexpr std::uint32_t kSongEndMessage = 32885;
constexpr std::uintptr_t kSongEndParameter = 100;

enum class SongPlayState { paused = 1, playing = 2, stopped = 3 };

class SongPlayer {
public:
    SongPlayer(const std::vector<Text>& files, int playCount);
    ~SongPlayer();  // RemovePlayer
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    void newPlay(const std::shared_ptr<SongNotificationSink>& window,
                 const std::optional<Text>& key, int startValue);
    void setPauseState(int flag);
    SongPlayState state() const { return state_.load(); }
    // Playing, paused, or between tracks with the next one still to start.
    bool isActive() const;
    // The current entry's index in the list, and the passes left.
    std::size_t currentEntry() const;
    int passesLeft() const;

private:
    struct TrackEnded {
        std::uint64_t pipeline;  // which pipeline ended; a discarded one's report is dropped
    };
    struct Quit {};
    using ControlEvent = std::variant<TrackEnded, Quit>;

    void newPlayLocked(std::unique_lock<std::mutex>& lock, int startValue);
    void discardPipeline(std::unique_lock<std::mutex>& lock);
    void controlLoop();
    // Control thread, after a track ended: false when the last pass is over.
    bool handleTrackEnded(std::uint64_t pipeline);

    std::vector<Text> files_;
    mutable std::mutex mutex_;  // guards everything below except the atomics
    std::size_t current_ = 0;
    int passesLeft_;
    std::atomic<SongPlayState> state_{SongPlayState::stopped};
    std::weak_ptr<SongNotificationSink> window_;
    bool hasWindow_ = false;
    Text key_;
    std::unique_ptr<SongPipeline> pipeline_;
    std::uint64_t pipelineNumber_ = 0;
    MessageQueue<ControlEvent> events_;
    std::atomic<int> pendingEvents_{0};
    std::atomic<bool> quit_{false};
    std::thread control_;
};

// The entry points, each a distinct type, and their lookup by name (a name not
// in the table gives nothing).
struct CreatePlayerEntry {
    SongPlayer* (*call)(const std::vector<Text>& files, int playCount);
};
struct NewPlayEntry {
    void (*call)(SongPlayer* player, const std::shared_ptr<SongNotificationSink>& window,
                 const std::optional<Text>& key, int startValue);
};
struct PlayEntry {
    void (*call)(SongPlayer* player);
};
struct SetPauseStateEntry {
    void (*call)(SongPlayer* player, int flag);
};
struct GetPlayStateEntry {
    int (*call)(SongPlayer* player);  // -1 paused, 1 playing, 0 otherwise
};
struct RemovePlayerEntry {
    void (*call)(SongPlayer* player);
};
using SongPlayerEntry = std::variant<CreatePlayerEntry, NewPlayEntry, PlayEntry,
                                     SetPauseStateEntry, GetPlayStateEntry, RemovePlayerEntry>;

std::optional<SongPlayerEntry> findSongPlayerEntry(std::string_view name);

// The entry of that name when it has that type.
template <typename Entry>
std::optional<Entry> songPlayerEntry(std::string_view name) {
    const std::optional<SongPlayerEntry> found = findSongPlayerEntry(name);
    if (!found || !std::holds_alternative<Entry>(*found)) {
        return std::nullopt;
    }
    return std::get<Entry>(*found);
}

}  // namespace lumivox
