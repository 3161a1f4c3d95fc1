#pragma once
// The panel's server-sent events: what the program publishes (on the GUI thread)
// goes to every open stream (each on a server thread). A stream's queue is
// bounded: a phone that stops reading loses its stream, never the program's
// memory, and reconnects for the state as it is then.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivox {

inline constexpr std::size_t kMaxEventStreams = 32;
inline constexpr std::size_t kMaxQueuedEvents = 64;

// One event as the stream carries it: "event: NAME\ndata: DATA\n\n" (DATA on
// one line: the program's JSON has no line breaks).
std::string eventFrame(std::string_view name, std::string_view data);

class EventStream {
  public:
    // The next frame to send; an empty frame after `waitMs` of quiet (the caller
    // sends a comment so that a dead peer shows); none once the stream has ended.
    std::optional<std::string> next(std::chrono::milliseconds waitMs);
    void end();

  private:
    friend class EventHub;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> frames_;
    bool ended_ = false;
};

class EventHub {
  public:
    // A new stream, or null when kMaxEventStreams are open.
    std::shared_ptr<EventStream> open();
    void publish(std::string_view name, std::string_view data);
    // Ends every open stream (the token changed, the server stops).
    void endAll();
    std::size_t openCount();

  private:
    void dropEnded();

    std::mutex mutex_;
    std::vector<std::shared_ptr<EventStream>> streams_;
};

}  // namespace lumivox
