#pragma once
// Inside the download engine: one Task per started download, its control
// thread and message queue, and one Worker per segment thread. See README.md
// beside this file for the threads, locks and message flow.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Sync.hpp"
#include "online/Download.hpp"
#include "online/DownloadPlan.hpp"
#include "online/HttpText.hpp"
#include "online/SocketOps.hpp"
#include "platform/TargetFile.hpp"
#include "platform/Sockets.hpp"

namespace lumivox::online {

inline constexpr int kRetryBudget = 999;
inline constexpr int kRetryWaitMs = 5000;
inline constexpr int kRedirectLimit = 20;
// A segment thread gathers several reads (each at most kReceiveBufferBytes) before
// one write to the target: fewer writes, each taking the file's lock once.
inline constexpr std::int64_t kWriteBufferBytes = 6 * kReceiveBufferBytes;

struct TaskMessage {
    enum class Kind { StartThread, Callback, Log, AllEnded };
    Kind kind = Kind::Callback;
    int code = 0;  // event code, or log level
    std::int64_t value = 0;
    std::int64_t extra = 0;
    Text text;   // the event's path, or the log message
    Text stamp;  // the log message's time-stamp
};

// One segment thread. Its fields belong to its own thread, except `stop` and
// `speedShare` (set by others) and `total` (under the task's counter lock).
struct Worker {
    int id = 0;
    bool isFirst = false;
    std::size_t segment = 0;
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> speedShare{0};
    std::int64_t total = 0;
    int retriesLeft = kRetryBudget;
    platform::SocketHandle socket = platform::kNoSocket;
    // Received bytes not yet written; they already count in the segment's bytes
    // done, so a split never cuts into them.
    std::vector<char> buffer = std::vector<char>(kWriteBufferBytes);
    std::int64_t fill = 0;
    bool running = true;    // under the bookkeeping lock
    HttpResponse response;  // of the latest request
    std::thread thread;

    void closeSocket() {
        platform::closeSocket(socket);
        socket = platform::kNoSocket;
    }
};

class Task : public std::enable_shared_from_this<Task> {
  public:
    Task(Download* owner, const TaskParam& param, const UrlParts& url);
    friend class Download;

    // Starts the control thread; false when it cannot be created.
    bool start();
    void requestStop();
    // Waits up to `timeoutMs` for every segment thread to end.
    bool waitForThreads(int timeoutMs);
    bool waitFinished(int timeoutMs) {
        return finished_.waitFor(std::chrono::milliseconds(timeoutMs));
    }
    bool onControlThread() const { return std::this_thread::get_id() == controlId_.load(); }
    void detachOwner();

    std::int64_t takeReceivedCount();
    std::int64_t downloadedBytes();
    const TaskParam& param() const { return param_; }

    // Used by the HTTP exchange (HttpExchange.cpp) on the segment threads.
    void log(int level, const Text& message);
    void logUtf8(int level, const std::string& message);
    void countBytes(Worker& worker, long bytes);
    StopFlags stopFlags(const Worker& worker) const { return {&worker.stop, &stopRequested_}; }

    RequestTarget request_;  // changed only by the first request, before other threads exist
    std::string address_;
    Text localPath_;
    bool localIsFolder_ = false;
    std::atomic<std::int64_t> totalLength_{-1};

  private:
    void runControl();
    // The control thread's watch over the task's progress (its own state).
    void checkStall();
    std::int64_t stallSeenBytes_ = -1;
    std::chrono::steady_clock::time_point stallSince_{};
    void startThread();
    void finish();
    void post(TaskMessage message);
    void postEvent(int code, std::int64_t value, std::int64_t extra, const Text& path = Text());
    Worker* createWorker(bool isFirst, std::size_t segment);
    void shareSpeedLimit();

    // Segment threads.
    void runWorker(Worker& worker);
    bool runFirstThread(Worker& worker, std::string& body);
    bool settleTargetName();
    // False when a file of `length` bytes exceeds the task's cap or the free
    // space of the target's folder.
    bool roomFor(std::int64_t length) const;
    bool receiveSegments(Worker& worker, std::string body);
    bool requestSegmentWithRetries(Worker& worker, std::string& body);
    bool waitBeforeRetry(Worker& worker);
    // Takes `bytes` more received into the worker's buffer.
    void keepReceived(Worker& worker, std::int64_t bytes);
    // False when the target refused the bytes (the thread then fails).
    bool flushBuffer(Worker& worker);
    std::int64_t bytesLeft(const Worker& worker);
    bool stopping(const Worker& worker) const { return worker.stop || stopRequested_; }

    Download* owner_;
    std::mutex ownerLock_;
    const TaskParam param_;

    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> accepting_{true};
    MessageQueue<TaskMessage> queue_;
    std::atomic<std::thread::id> controlId_{};
    Event finished_;

    // Counter lock: downloaded bytes, bytes since the last query, each worker's total.
    std::mutex counterLock_;
    std::int64_t downloaded_ = 0;
    std::int64_t sinceQuery_ = 0;

    // Thread-bookkeeping lock: running count, sequence number, workers, segment table.
    std::mutex threadLock_;
    int running_ = 0;
    int sequence_ = 0;
    bool firstStarted_ = false;
    std::list<std::unique_ptr<Worker>> workers_;
    std::vector<Segment> segments_;

    std::atomic<int> retries_{0};
    std::atomic<bool> lengthAnnounced_{false};
    std::unique_ptr<platform::TargetFile> target_;  // set by the first thread before others start

    friend int firstRequest(Task& task, Worker& worker, std::string& body);
    friend int segmentRequest(Task& task, Worker& worker, std::int64_t position, std::string& body);
};

// The HTTP exchange of one connection: 1 success, -1 failure the engine may
// retry, 0 final failure. `body` receives the body bytes that came with the header.
int firstRequest(Task& task, Worker& worker, std::string& body);
int segmentRequest(Task& task, Worker& worker, std::int64_t position, std::string& body);

}  // namespace lumivox::online
