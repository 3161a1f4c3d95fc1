#pragma once
// Work that other threads hand to the GUI thread, and the hand-back. Each
// platform's GUI thread gets a call through its own loop (Qt's event queue, a
// window message); the states of a call and the waiting are the same on both,
// in plain C++ with a mutex and a condition, so the ordering is visible to
// ThreadSanitizer.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace lumivox::platform {

// One piece of work handed to the GUI thread. Its state moves once from
// waiting to started (the GUI thread takes it) or to refused (the calls ended).
struct GuiThreadCall {
    enum class State { Waiting, Started, Finished, Refused };
    State state = State::Waiting;
    const std::function<void()>* work = nullptr;
};

class GuiThreadCalls {
  public:
    explicit GuiThreadCalls(bool serving) : ended_(!serving) {}

    // From now on work is taken from other threads.
    void begin() {
        std::lock_guard lock(mutex_);
        ended_ = false;
    }

    // No more work is taken, and callers waiting for work not started yet get
    // false at once; work already running finishes and is waited for.
    void end() {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
            std::erase_if(open_, [](const std::shared_ptr<GuiThreadCall>& call) {
                if (call->state != GuiThreadCall::State::Waiting) {
                    return false;
                }
                call->state = GuiThreadCall::State::Refused;
                return true;
            });
        }
        changed_.notify_all();
    }

    // Hands the work over with `post` (which arranges for the GUI thread to
    // call run() with the call; false when it cannot) and waits until it has
    // run (true) or was refused (false). The work is only touched once started,
    // and a started call is always waited for, so the reference stays valid.
    bool handOver(const std::function<void()>& work,
                  const std::function<bool(const std::shared_ptr<GuiThreadCall>&)>& post) {
        auto call = std::make_shared<GuiThreadCall>();
        call->work = &work;
        {
            std::lock_guard lock(mutex_);
            if (ended_) {
                return false;
            }
            open_.push_back(call);
        }
        const bool posted = post(call);
        std::unique_lock lock(mutex_);
        if (!posted && call->state == GuiThreadCall::State::Waiting) {
            call->state = GuiThreadCall::State::Refused;
            std::erase(open_, call);
        }
        changed_.wait(lock, [&] {
            return call->state == GuiThreadCall::State::Finished ||
                   call->state == GuiThreadCall::State::Refused;
        });
        return call->state == GuiThreadCall::State::Finished;
    }

    // On the GUI thread: runs the call's work unless it was refused meanwhile.
    void run(const std::shared_ptr<GuiThreadCall>& call) {
        {
            std::lock_guard lock(mutex_);
            if (call->state != GuiThreadCall::State::Waiting) {
                return;  // refused: the caller has gone on without it
            }
            call->state = GuiThreadCall::State::Started;
        }
        (*call->work)();
        {
            std::lock_guard lock(mutex_);
            call->state = GuiThreadCall::State::Finished;
            std::erase(open_, call);
        }
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_;
    std::vector<std::shared_ptr<GuiThreadCall>> open_;  // handed over, not finished yet
};

}  // namespace lumivox::platform
