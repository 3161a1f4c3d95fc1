#include "online/Download.hpp"

#include <algorithm>
#include <cstdint>

#include "online/DownloadTask.hpp"

namespace lumivox::online {

Download::~Download() {
    std::shared_ptr<Task> task = currentTask();
    if (!task)
        return;
    task->requestStop();
    task->detachOwner();
    // Detached, the task no longer touches this object; the wait lets its end
    // callback finish first, bounded like stopTask's: that callback may itself be
    // waiting for this thread.
    if (!task->onControlThread()) {
        task->waitFinished(std::max(task->param().stopWait, 0) + 1000);
    }
}

std::shared_ptr<Task> Download::currentTask() {
    std::lock_guard lock(mutex_);
    return task_;
}

bool Download::startTask(const TaskParam& param) {
    std::lock_guard lock(mutex_);
    if (task_) {
        return false;
    }
    UrlParts url = parseUrl(param.url);
    if (url.scheme != Scheme::Http || !url.hasHost) {
        return false;  // the FTP, MMS and RTSP transfers are not carried
    }
    TaskParam copy = param;
    copy.taskKind |= 4096;
    auto task = std::make_shared<Task>(this, copy, url);
    task_ = task;
    if (!task->start()) {
        task_.reset();
        return false;
    }
    return true;
}

std::int64_t Download::takeReceivedCount() {
    std::shared_ptr<Task> task = currentTask();
    return task ? task->takeReceivedCount() : 0;
}

std::int64_t Download::downloadedBytes() {
    std::shared_ptr<Task> task = currentTask();
    return task ? task->downloadedBytes() : 0;
}

bool Download::busy() {
    return currentTask() != nullptr;
}

void Download::requestStop() {
    if (std::shared_ptr<Task> task = currentTask())
        task->requestStop();
}

void Download::stopTask() {
    std::shared_ptr<Task> task = currentTask();
    if (!task)
        return;
    task->requestStop();
    task->waitForThreads(task->param().stopWait);
    // Let the task end: its control thread sends the end event. Called from
    // that very thread (inside a callback), there is nothing to wait for.
    // Bounded: an end callback may be waiting for this very caller (the program
    // ending from that callback); after the wait the task is detached all the same.
    if (!task->onControlThread()) {
        task->waitFinished(std::max(task->param().stopWait, 0) + 1000);
    }
    task->detachOwner();
    std::lock_guard lock(mutex_);
    if (task_ == task)
        task_.reset();
}

}  // namespace lumivox::online
