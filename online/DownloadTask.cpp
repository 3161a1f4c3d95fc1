// The task's control thread and its segment threads.
#include "online/DownloadTask.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <utility>

#include "base/Encoding.hpp"
#include "platform/Files.hpp"

namespace lumivox::online {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

Text timeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// Sleeps `ms` in 10 ms steps; false when a stop came first.
bool sleepUnlessStopped(int ms, const StopFlags& stop) {
    auto until = Clock::now() + milliseconds(ms);
    while (Clock::now() < until) {
        if (stop.stopped())
            return false;
        std::this_thread::sleep_for(milliseconds(kPollStepMs));
    }
    return !stop.stopped();
}

}  // namespace

Task::Task(Download* owner, const TaskParam& param, const UrlParts& url)
    : owner_(owner), param_(param) {
    request_.host = url.host;
    request_.port = url.port;
    request_.target = url.path;
    request_.referer = param.referer.empty() ? upToLastSlash(param.url) : param.referer;
    localPath_ = param.localFile;
    localIsFolder_ = !localPath_.empty() && localPath_.back() == '/';
}

bool Task::start() {
    TaskMessage first;
    first.kind = TaskMessage::Kind::StartThread;
    first.value = param_.connectionCount;
    post(first);
    auto self = shared_from_this();
    try {
        // The thread stores its own id before anything else, so a callback that
        // asks whether it runs on the control thread always gets the right answer.
        std::thread control([self] {
            self->controlId_ = std::this_thread::get_id();
            self->runControl();
        });
        control.detach();  // it ends by itself; `finished_` tells when
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Task::post(TaskMessage message) {
    if (accepting_) {
        queue_.post(std::move(message));
    }
}

void Task::postEvent(int code, std::int64_t value, std::int64_t extra, const Text& path) {
    if (!param_.eventCallback)
        return;
    TaskMessage message;
    message.kind = TaskMessage::Kind::Callback;
    message.code = code;
    message.value = value;
    message.extra = extra;
    message.text = path;
    post(std::move(message));
}

void Task::log(int level, const Text& text) {
    if (!param_.logCallback)
        return;
    TaskMessage message;
    message.kind = TaskMessage::Kind::Log;
    message.code = level;
    message.text = text;
    message.stamp = timeStamp();
    post(std::move(message));
}

void Task::logUtf8(int level, const std::string& text) {
    log(level, utf8ToGbk(text));
}

void Task::countBytes(Worker& worker, long bytes) {
    std::lock_guard lock(counterLock_);
    downloaded_ += bytes;
    sinceQuery_ += bytes;
    worker.total += bytes;
}

std::int64_t Task::takeReceivedCount() {
    std::lock_guard lock(counterLock_);
    return std::exchange(sinceQuery_, 0);
}

std::int64_t Task::downloadedBytes() {
    std::lock_guard lock(counterLock_);
    return downloaded_;
}

void Task::requestStop() {
    stopRequested_ = true;
    std::lock_guard lock(threadLock_);
    for (auto& worker : workers_)
        worker->stop = true;
}

bool Task::waitForThreads(int timeoutMs) {
    auto until = Clock::now() + milliseconds(std::max(timeoutMs, 0));
    while (true) {
        {
            std::lock_guard lock(threadLock_);
            if (running_ == 0)
                return true;
        }
        if (Clock::now() >= until)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

void Task::detachOwner() {
    std::lock_guard lock(ownerLock_);
    owner_ = nullptr;
}

// ---- control thread ----

void Task::checkStall() {
    if (param_.stallLimit <= 0 || stopRequested_) {
        return;
    }
    const std::int64_t now = downloadedBytes();
    if (now != stallSeenBytes_) {
        stallSeenBytes_ = now;
        stallSince_ = Clock::now();
    } else if (Clock::now() - stallSince_ >= milliseconds(param_.stallLimit)) {
        logUtf8(DownloadLog::kError,
                std::to_string(param_.stallLimit / 1000) + "秒没有收到数据，下载停止");
        requestStop();
    }
}

void Task::runControl() {
    while (true) {
        checkStall();
        std::optional<TaskMessage> message = queue_.take(milliseconds(100));
        if (!message) {
            // Stopped before any segment thread could start: nothing will post the end.
            std::lock_guard lock(threadLock_);
            if (stopRequested_ && running_ == 0)
                break;
            continue;
        }
        if (message->kind == TaskMessage::Kind::StartThread) {
            startThread();
        } else if (message->kind == TaskMessage::Kind::Callback) {
            Download* sender;
            {
                std::lock_guard lock(ownerLock_);
                sender = owner_;
            }
            param_.eventCallback(message->code, sender, message->value, message->extra,
                                 message->text);
        } else if (message->kind == TaskMessage::Kind::Log) {
            Download* sender;
            {
                std::lock_guard lock(ownerLock_);
                sender = owner_;
            }
            param_.logCallback(sender, message->stamp, message->text, message->code);
        } else {
            // A thread started after the last one ended makes this message stale.
            std::lock_guard lock(threadLock_);
            if (running_ == 0)
                break;
        }
    }
    finish();
}

void Task::startThread() {
    std::lock_guard lock(threadLock_);
    if (stopRequested_)
        return;
    if (!firstStarted_) {
        firstStarted_ = true;
        if (createWorker(true, 0) == nullptr) {
            TaskMessage end;  // no thread will ever post it
            end.kind = TaskMessage::Kind::AllEnded;
            post(end);
        }
        return;
    }
    std::optional<std::size_t> segment = chooseSegment(segments_);
    if (segment) {
        createWorker(false, *segment);
    }
}

// Under the thread-bookkeeping lock. The running count rises here, before the
// thread exists, so that an end posted by the last older thread cannot close
// the task under the new one.
Worker* Task::createWorker(bool isFirst, std::size_t segment) {
    auto worker = std::make_unique<Worker>();
    worker->id = ++sequence_;
    worker->isFirst = isFirst;
    worker->segment = segment;
    if (!isFirst) {
        segments_[segment].state = 1;
        segments_[segment].threadId = worker->id;
    }
    Worker* raw = worker.get();
    ++running_;
    if (param_.speedLimit > 0)  // its share before it runs; the others' follow below
        raw->speedShare = std::max<std::int64_t>(param_.speedLimit / running_, 1);
    try {
        raw->thread = std::thread([this, raw] { runWorker(*raw); });
    } catch (const std::system_error&) {
        --running_;
        if (!isFirst)
            segments_[segment].state = 0;
        return nullptr;
    }
    workers_.push_back(std::move(worker));
    shareSpeedLimit();
    return raw;
}

// Under the thread-bookkeeping lock: the task's limit split evenly among the
// running threads, again whenever one starts or ends.
void Task::shareSpeedLimit() {
    if (param_.speedLimit <= 0 || running_ <= 0)
        return;
    const std::int64_t share = std::max<std::int64_t>(param_.speedLimit / running_, 1);
    for (auto& worker : workers_) {
        if (worker->running)
            worker->speedShare = share;
    }
}

void Task::finish() {
    accepting_ = false;
    for (auto& worker : workers_) {
        if (worker->thread.joinable())
            worker->thread.join();
    }
    target_.reset();  // closed before the end event, which may open the file
    Download* sender;
    {
        std::lock_guard lock(ownerLock_);
        sender = owner_;
    }
    if (param_.eventCallback) {
        const std::int64_t value =
            stopRequested_ ? downloadedBytes() : std::max<std::int64_t>(totalLength_, 0);
        Text none;
        param_.eventCallback(DownloadEvent::kTaskEnded, sender, value, 0, none);
    }
    {
        std::lock_guard lock(ownerLock_);
        if (owner_ != nullptr) {
            std::lock_guard ownerLock(owner_->mutex_);
            if (owner_->task_.get() == this)
                owner_->task_.reset();
        }
    }
    finished_.set();
}

// ---- segment threads ----

void Task::runWorker(Worker& worker) {
    postEvent(DownloadEvent::kThreadStarted, 0, 0);
    bool ended;
    if (worker.isFirst) {
        std::string body;
        ended = runFirstThread(worker, body) && receiveSegments(worker, std::move(body));
    } else {
        std::string body;
        ended = requestSegmentWithRetries(worker, body) && receiveSegments(worker, std::move(body));
    }
    worker.closeSocket();
    std::int64_t reached = 0;
    {
        std::lock_guard lock(threadLock_);
        if (worker.segment < segments_.size()) {
            Segment& segment = segments_[worker.segment];
            reached = segment.start + segment.done;
        }
    }
    // The thread's own event goes out before the end of the task can be posted,
    // so that the last thread's outcome is never dropped with the queue.
    postEvent(ended ? DownloadEvent::kThreadEnded : DownloadEvent::kThreadFailed, reached, 0);
    std::lock_guard lock(threadLock_);
    if (worker.segment < segments_.size()) {
        segments_[worker.segment].state = 0;
        segments_[worker.segment].threadId = 0;
    }
    worker.running = false;
    --running_;
    shareSpeedLimit();
    if (running_ == 0) {
        TaskMessage end;
        end.kind = TaskMessage::Kind::AllEnded;
        post(end);
    }
}

bool Task::runFirstThread(Worker& worker, std::string& body) {
    while (true) {
        int result = firstRequest(*this, worker, body);
        if (result == 1)
            break;
        if (result == 0 || !waitBeforeRetry(worker))
            return false;
    }
    const std::int64_t total = worker.response.contentLength;
    if (total < 0) {
        logUtf8(DownloadLog::kError, "无法获得文件大小");
        return false;
    }
    totalLength_ = total;
    {
        std::lock_guard lock(threadLock_);
        segments_ = planSegments(total, param_.connectionCount);
        segments_[0].state = 1;
        segments_[0].threadId = worker.id;
        worker.segment = 0;
    }
    if (localIsFolder_) {
        localPath_ += fileNameFromUrlPath(request_.target);
        localIsFolder_ = false;
    }
    if (!settleTargetName())
        return false;
    if (!roomFor(total)) {
        logUtf8(DownloadLog::kError, "文件太大，超出允许的下载长度或磁盘剩余空间");
        return false;
    }
    target_ =
        platform::TargetFile::createNew(gbkToUtf8(localPath_), static_cast<std::uint64_t>(total));
    if (!target_) {
        logUtf8(DownloadLog::kError,
                "创建文件错误，超出最大支持下载长度或磁盘是可写或磁盘没有空间");
        return false;
    }
    std::size_t further;
    {
        std::lock_guard lock(threadLock_);
        further = segments_.size() - 1;
    }
    for (std::size_t i = 0; i < further; ++i) {
        TaskMessage start;
        start.kind = TaskMessage::Kind::StartThread;
        post(start);
    }
    return true;
}

bool Task::roomFor(std::int64_t length) const {
    if (param_.maxLength > 0 && length > param_.maxLength)
        return false;
    std::string folder = gbkToUtf8(localPath_);
    const std::size_t slash = folder.find_last_of("/\\");
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash + 1);
    const std::optional<std::uint64_t> free = platform::freeBytesAt(folder);
    return !free || static_cast<std::uint64_t>(length) <= *free;
}

bool Task::settleTargetName() {
    if (!platform::canOpenForReading(gbkToUtf8(localPath_)))
        return true;
    if (param_.eventCallback) {
        Download* sender;
        {
            std::lock_guard lock(ownerLock_);
            sender = owner_;
        }
        Text path = localPath_;
        int answer = param_.eventCallback(DownloadEvent::kSameName, sender, totalLength_, 0, path);
        if (answer == 1) {
            logUtf8(DownloadLog::kProgress, "发现同名文件, 用户选择放弃下载");
            return false;
        }
        if (answer == 2) {
            localPath_ = path;
            log(DownloadLog::kProgress, utf8ToGbk("发现同名文件, 用户更名为") + localPath_);
            return true;
        }
        if (answer != 0)
            return false;
    }
    Text candidate = localPath_;
    for (int tried = 0; tried < 99; ++tried) {
        std::optional<Text> next = nextRenameCandidate(candidate);
        if (!next)
            break;
        candidate = *next;
        if (!platform::pathExists(gbkToUtf8(candidate))) {
            localPath_ = candidate;
            log(DownloadLog::kProgress, utf8ToGbk("发现同名文件, 系统自动更名为") + localPath_);
            return true;
        }
    }
    logUtf8(DownloadLog::kError, "发现同名文件，超过系统自动更名次数");
    return false;
}

bool Task::requestSegmentWithRetries(Worker& worker, std::string& body) {
    while (true) {
        if (stopping(worker))
            return false;
        std::int64_t position;
        {
            std::lock_guard lock(threadLock_);
            const Segment& segment = segments_[worker.segment];
            position = segment.start + segment.done;
        }
        int result = segmentRequest(*this, worker, position, body);
        if (result == 1)
            return true;
        if (result == 0 || !waitBeforeRetry(worker))
            return false;
    }
}

bool Task::waitBeforeRetry(Worker& worker) {
    worker.closeSocket();
    if (stopping(worker) || worker.retriesLeft <= 0)
        return false;
    --worker.retriesLeft;
    ++retries_;
    if (!flushBuffer(worker))
        return false;
    logUtf8(DownloadLog::kProgress, "等待" + std::to_string(kRetryWaitMs / 1000) + "秒后重试");
    return sleepUnlessStopped(kRetryWaitMs, stopFlags(worker));
}

void Task::keepReceived(Worker& worker, std::int64_t bytes) {
    worker.fill += bytes;
    std::lock_guard lock(threadLock_);
    segments_[worker.segment].done += bytes;
}

// Writes the buffer to the target where its bytes belong: they end at the
// segment's bytes done. The write runs without the bookkeeping lock: only this
// thread writes this part of the file, and a split never cuts below bytes done.
bool Task::flushBuffer(Worker& worker) {
    if (worker.fill == 0)
        return true;
    std::int64_t position;
    {
        std::lock_guard lock(threadLock_);
        const Segment& segment = segments_[worker.segment];
        position = segment.start + segment.done - worker.fill;
    }
    const bool written = target_->writeAt(static_cast<std::uint64_t>(position),
                                          worker.buffer.data(),
                                          static_cast<std::size_t>(worker.fill));
    worker.fill = 0;
    if (!written) {
        logUtf8(DownloadLog::kError, "写入文件错误");
    }
    return written;
}

std::int64_t Task::bytesLeft(const Worker& worker) {
    std::lock_guard lock(threadLock_);
    return segments_[worker.segment].left();
}

// The data loop: receives the worker's segment, then each further idle segment
// with bytes left on a new connection. `body` holds bytes that came with the header.
bool Task::receiveSegments(Worker& worker, std::string body) {
    bool firstSegment = true;
    while (true) {
        {
            std::int64_t reached, end;
            {
                std::lock_guard lock(threadLock_);
                const Segment& segment = segments_[worker.segment];
                reached = segment.start + segment.done;
                end = segment.start + segment.length;
            }
            if (worker.isFirst && !lengthAnnounced_.exchange(true)) {
                postEvent(DownloadEvent::kLengthKnown, totalLength_, 0, localPath_);
            }
            postEvent(firstSegment ? DownloadEvent::kFirstSegment : DownloadEvent::kFurtherSegment,
                      reached, end);
        }
        const ByteCounter counter = [this, &worker](long bytes) { countBytes(worker, bytes); };
        while (true) {
            if (!body.empty()) {
                // Bytes that arrived with a header: never more than the segment wants.
                const std::int64_t take = std::min<std::int64_t>(
                    std::min<std::int64_t>(static_cast<std::int64_t>(body.size()),
                                           bytesLeft(worker)),
                    kWriteBufferBytes - worker.fill);
                std::memcpy(worker.buffer.data() + worker.fill, body.data(),
                            static_cast<std::size_t>(take));
                keepReceived(worker, take);
                countBytes(worker, static_cast<long>(take));
                postEvent(DownloadEvent::kReceived, take, 0);
                body.clear();
            }
            const std::int64_t left = bytesLeft(worker);
            if ((left <= 0 || worker.fill + kReceiveBufferBytes > kWriteBufferBytes) &&
                !flushBuffer(worker))
                return false;
            if (left <= 0)
                break;
            if (stopping(worker)) {
                flushBuffer(worker);
                return false;
            }
            const std::int64_t share = worker.speedShare;
            // Under a limit, reads of an eighth of a second's share, each followed
            // by the pause that keeps the thread at its share.
            std::int64_t want =
                share > 0 ? std::max<std::int64_t>(share / 8, 1) : std::max(param_.blockSize, 1);
            want = std::min({want, kReceiveBufferBytes, kWriteBufferBytes - worker.fill, left});
            const auto cycleStart = Clock::now();
            long received = 0;
            long result = receiveWithTimeout(
                worker.socket, stopFlags(worker), static_cast<long>(want), static_cast<long>(want),
                param_.receiveTimeout, worker.buffer.data() + worker.fill, 0, &counter, received);
            keepReceived(worker, received);
            if (received > 0)
                postEvent(DownloadEvent::kReceived, received, 0);
            if (result < 0) {
                // An early close is a failed attempt like any other, so the rest
                // of the segment is asked for again rather than left as zeros.
                if (!flushBuffer(worker))
                    return false;
                log(DownloadLog::kError, errorTextOf(static_cast<int>(result)));
                if (!waitBeforeRetry(worker) || !requestSegmentWithRetries(worker, body))
                    return false;
                continue;
            }
            if (share > 0 && received > 0) {
                const auto due = cycleStart + milliseconds(received * 1000 / share);
                const auto now = Clock::now();
                if (now < due) {
                    sleepUnlessStopped(
                        static_cast<int>(
                            std::chrono::duration_cast<milliseconds>(due - now).count()),
                        stopFlags(worker));
                }
            }
        }
        // Segment complete: take the next idle one with bytes left, on a new connection.
        worker.closeSocket();
        {
            std::lock_guard lock(threadLock_);
            std::optional<std::size_t> next;
            for (std::size_t i = 0; i < segments_.size(); ++i) {
                if (segments_[i].state == 0 && segments_[i].left() > 0) {
                    next = i;
                    break;
                }
            }
            if (!next)
                return true;
            segments_[worker.segment].state = 0;
            segments_[worker.segment].threadId = 0;
            segments_[*next].state = 1;
            segments_[*next].threadId = worker.id;
            worker.segment = *next;
        }
        firstSegment = false;
        if (!requestSegmentWithRetries(worker, body))
            return false;
    }
}

}  // namespace lumivox::online
