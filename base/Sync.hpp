#pragma once
// The synchronisation pieces of every worker thread in the program: an event
// that can be waited for with a time-out, and a message queue (one mutex over a
// list plus a counting semaphore). A worker takes messages from its queue, checks
// its stop flag, and is shut down by: set stop, post or signal to wake it, join.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <semaphore>

namespace lumivox {

// A Windows-style event: manual reset stays signalled until reset; auto reset
// lets exactly one waiter through and clears itself.
class Event {
public:
    explicit Event(bool manualReset = true, bool initiallySet = false)
        : manualReset_(manualReset), set_(initiallySet) {}

    void set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        if (manualReset_) {
            changed_.notify_all();
        } else {
            changed_.notify_one();
        }
    }

    void reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }

    bool isSet() const {
        std::lock_guard lock(mutex_);
        return set_;
    }

    // True when the event was (or became) set within the time-out.
    bool waitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return set_; })) {
            return false;
        }
        if (!manualReset_) {
            set_ = false;
        }
        return true;
    }

    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return set_; });
        if (!manualReset_) {
            set_ = false;
        }
    }

private:
    const bool manualReset_;
    bool set_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
};

// Messages for one worker: post from any thread, take on the worker.
template <typename Message>
class MessageQueue {
public:
    void post(Message message) {
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(std::move(message));
        }
        available_.release();
    }

    // The oldest message, or nothing when none arrived within the time-out.
    std::optional<Message> take(std::chrono::milliseconds timeout) {
        if (!available_.try_acquire_for(timeout)) {
            return std::nullopt;
        }
        std::lock_guard lock(mutex_);
        Message message = std::move(messages_.front());
        messages_.pop_front();
        return message;
    }

    Message take() {
        available_.acquire();
        std::lock_guard lock(mutex_);
        Message message = std::move(messages_.front());
        messages_.pop_front();
        return message;
    }

private:
    std::mutex mutex_;
    std::deque<Message> messages_;
    std::counting_semaphore<> available_{0};
};

}  // namespace lumivox
