#include "remote/RemoteEvents.hpp"

namespace lumivox {

std::string eventFrame(std::string_view name, std::string_view data) {
    std::string frame = "event: ";
    frame += name;
    frame += "\ndata: ";
    for (const char c : data) {
        frame += c == '\n' || c == '\r' ? ' ' : c;
    }
    frame += "\n\n";
    return frame;
}

std::optional<std::string> EventStream::next(std::chrono::milliseconds waitMs) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, waitMs, [&] { return ended_ || !frames_.empty(); });
    if (ended_) {
        return std::nullopt;
    }
    if (frames_.empty()) {
        return std::string();
    }
    std::string frame = std::move(frames_.front());
    frames_.pop_front();
    return frame;
}

void EventStream::end() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        frames_.clear();
    }
    changed_.notify_all();
}

void EventHub::dropEnded() {
    std::erase_if(streams_, [](const std::shared_ptr<EventStream>& stream) {
        std::lock_guard lock(stream->mutex_);
        return stream->ended_;
    });
}

std::shared_ptr<EventStream> EventHub::open() {
    std::lock_guard lock(mutex_);
    dropEnded();
    if (streams_.size() >= kMaxEventStreams) {
        return nullptr;
    }
    streams_.push_back(std::make_shared<EventStream>());
    return streams_.back();
}

void EventHub::publish(std::string_view name, std::string_view data) {
    const std::string frame = eventFrame(name, data);
    std::lock_guard lock(mutex_);
    for (const std::shared_ptr<EventStream>& stream : streams_) {
        {
            std::lock_guard streamLock(stream->mutex_);
            if (stream->ended_) {
                continue;
            }
            if (stream->frames_.size() >= kMaxQueuedEvents) {
                // A reader this far behind has gone; its stream ends.
                stream->ended_ = true;
                stream->frames_.clear();
            } else {
                stream->frames_.push_back(frame);
            }
        }
        stream->changed_.notify_all();
    }
}

void EventHub::endAll() {
    std::vector<std::shared_ptr<EventStream>> streams;
    {
        std::lock_guard lock(mutex_);
        streams.swap(streams_);
    }
    for (const std::shared_ptr<EventStream>& stream : streams) {
        stream->end();
    }
}

std::size_t EventHub::openCount() {
    std::lock_guard lock(mutex_);
    dropEnded();
    return streams_.size();
}

}  // namespace lumivox
