#pragma once
// The segmented HTTP download engine: a Download object holds at most one task,
// started from a TaskParam record. The task's control thread runs the callbacks;
// one thread per connection fetches a segment of the file with a byte range and
// writes it at its place in a target file created at the final size.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "base/Types.hpp"

namespace lumivox::online {

class Download;
class Task;

// Event codes passed to `eventCallback`.
namespace DownloadEvent {
inline constexpr int kLengthKnown = 3;  // value: total length; path: the local path
inline constexpr int kTaskEnded = 4;    // value: total length (bytes so far when stopped)
inline constexpr int kThreadStarted = 5;
inline constexpr int kFirstSegment = 6;    // value: position reached; extra: segment end
inline constexpr int kFurtherSegment = 7;  // value: position reached; extra: segment end
inline constexpr int kThreadEnded = 8;     // value: position reached
inline constexpr int kThreadFailed = 9;    // value: position reached
inline constexpr int kReceived = 16;       // value: byte count
inline constexpr int kSameName = 18;       // value: total length; path may be changed
}  // namespace DownloadEvent

// Message levels passed to `logCallback`.
namespace DownloadLog {
inline constexpr int kProgress = 0;
inline constexpr int kRequestSent = 1;
inline constexpr int kHeaderReceived = 2;
inline constexpr int kError = 3;
}  // namespace DownloadLog

// (sender, time-stamp text, message text, level). Runs on the control thread.
using LogCallback =
    std::function<void(Download* sender, const Text& timeStamp, const Text& message, int level)>;
// (code, sender, value, extra, path) -> result. `path` is the local path for
// codes 3 and 18 (code 18 may put a new name into it and return 2), empty
// otherwise. Runs on the control thread, except code 18 (first segment thread).
using EventCallback = std::function<int(int code, Download* sender, std::int64_t value,
                                        std::int64_t extra, Text& path)>;

// The task record: the twenty members in their order, with their defaults.
// The FTP, upload and proxy members are kept so the record is complete; this
// engine carries HTTP downloads only.
struct TaskParam {
    std::int32_t taskKind = 1;
    Text url;
    Text localFile;  // a path ending in "/" names a folder
    Text userName = "anonymous";
    Text password = "guest@example.com";
    std::int32_t connectionCount = 1;
    std::int32_t speedLimit = 0;  // bytes per second for the whole task, 0 for none
    std::int32_t connectTimeout = 20000;
    std::int32_t sendTimeout = 20000;
    std::int32_t receiveTimeout = 20000;
    std::int32_t stopWait = 1000;
    std::int32_t blockSize = 20480;
    std::int32_t uploadBlockSize = 1024;
    LogCallback logCallback;
    EventCallback eventCallback;
    Text uploadFile;
    std::int32_t ftpTransferType = 1;
    Text binaryExtensions = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
    Text proxy;
    Text referer;
    // The largest file the task accepts; a longer one (or one longer than the
    // free space beside the target) fails before anything is created. 0: no cap.
    std::int64_t maxLength = 0;
    // A task that receives no byte at all for this many ms stops itself (and
    // ends as a stopped task does): a server that drops every connection would
    // otherwise be retried for hours. 0: no limit.
    std::int32_t stallLimit = 0;
};

class Download {
  public:
    Download() = default;
    // Stops a running task and waits a bounded time for its control thread.
    ~Download();
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    // False when a task is held already or the URL is refused (not HTTP, or no
    // "/" after the host). Otherwise the task runs on its own threads.
    bool startTask(const TaskParam& param);

    // Bytes received since the previous call (0 without a task).
    std::int64_t takeReceivedCount();

    // Bytes received so far by the running task (0 without one).
    std::int64_t downloadedBytes();

    // Asks every thread of the running task to end and returns at once; the task
    // ends by itself and sends its end event as usual.
    void requestStop();

    // Asks every thread of the running task to end, waits up to `stopWait` ms
    // for them, and frees the object for a new start.
    void stopTask();

    // True while a task is held.
    bool busy();

  private:
    friend class Task;
    std::shared_ptr<Task> currentTask();

    std::mutex mutex_;
    std::shared_ptr<Task> task_;
};

}  // namespace lumivox::online
