// One HTTP/1.1 GET per connection: resolve, connect, send, read and parse the
// header, follow redirects (first request only).
#include <cerrno>
#include <string>

#include "base/Encoding.hpp"
#include "online/DownloadTask.hpp"
#include "platform/Sockets.hpp"

namespace lumivox::online {
namespace {

constexpr int kHeaderTooLong = 1;

std::string addressText(const Task& task) {
    return task.address_ + ":" + std::to_string(task.request_.port);
}

// -1 for a failure to retry, 1 connected. Messages as the first request sends them;
// the segment request's success message has no space before "[".
int openAndConnect(Task& task, Worker& worker, bool spacedSuccess) {
    worker.closeSocket();
    worker.socket = platform::openTcpSocket();
    if (worker.socket == platform::kNoSocket) {
        task.log(DownloadLog::kError, errorTextOf(platform::socketErrorFromErrno(errno)));
        return -1;
    }
    const std::string where = "[" + addressText(task) + "]";
    task.logUtf8(DownloadLog::kProgress, "正在连接 " + where);
    int result = connectWithTimeout(worker.socket, task.address_, task.request_.port,
                                    task.param().connectTimeout, task.stopFlags(worker));
    if (result == kConnectStopped) {
        return -1;
    }
    if (result == kConnectTimeout) {
        task.logUtf8(DownloadLog::kError, "连接 " + where + "超时");
        return -1;
    }
    if (result != 0) {
        task.logUtf8(DownloadLog::kError, "连接 " + where + "失败");
        return -1;
    }
    task.logUtf8(DownloadLog::kProgress,
                 spacedSuccess ? "连接 " + where + "成功" : "连接" + where + "成功");
    return 1;
}

// Reads until the header has ended: 0 with `header` and `body` filled,
// kHeaderTooLong, or a negative receive code.
int readHeader(Task& task, Worker& worker, std::string& header, std::string& body) {
    std::string data;
    char chunk[kHeaderArea];
    while (true) {
        if (data.size() >= kHeaderArea) {
            return kHeaderTooLong;
        }
        long room = static_cast<long>(kHeaderArea - data.size());
        long received = 0;
        long result = receiveWithTimeout(worker.socket, task.stopFlags(worker), room, room,
                                         task.param().receiveTimeout, chunk, 1, nullptr, received);
        data.append(chunk, static_cast<std::size_t>(received));
        HeaderScan scan = scanHeader(data);
        if (scan.complete) {
            header = data.substr(scan.statusStart, scan.bodyStart - scan.statusStart);
            body = data.substr(scan.bodyStart);
            return 0;
        }
        if (result < 0) {
            return static_cast<int>(result);
        }
        if (received == 0) {
            return kConnectStopped;  // told to stop
        }
    }
}

// Sends the request and reads the answer: 1 with `response` and `body`, or the
// request operation's result for a failure (its message sent).
int exchange(Task& task, Worker& worker, const std::string& extraHeader, HttpResponse& response,
             std::string& body) {
    auto request =
        buildRequest(task.request_.target, task.request_.host, task.request_.referer, extraHeader);
    if (!request) {
        task.logUtf8(DownloadLog::kError, "发送请求失败");
        return 0;  // the same request would not fit next time either
    }
    task.log(DownloadLog::kRequestSent, *request);
    long sent =
        sendWithTimeout(worker.socket, task.param().sendTimeout, *request, task.stopFlags(worker));
    if (sent != static_cast<long>(request->size())) {
        task.logUtf8(DownloadLog::kError, "发送请求失败");
        return -1;
    }
    std::string header;
    int read = readHeader(task, worker, header, body);
    if (read == kHeaderTooLong) {
        task.logUtf8(DownloadLog::kError, "HTTP返回头部信息过长");
        return 0;
    }
    if (read < 0) {
        task.log(DownloadLog::kError, errorTextOf(read));
        return -1;
    }
    task.log(DownloadLog::kHeaderReceived, header);
    response = parseResponse(header);
    return 1;
}

int refuseStatus(Task& task, int status) {
    if (status == 400 || status == 403 || status == 404) {
        task.logUtf8(DownloadLog::kError, "出现错误");
    } else {
        task.logUtf8(DownloadLog::kError,
                     "暂时不支持的返回, 返回号[" + std::to_string(status) + "]");
    }
    return 0;
}

}  // namespace

int firstRequest(Task& task, Worker& worker, std::string& body) {
    for (int redirects = 0;; ++redirects) {
        task.request_.target = escapeTarget(task.request_.target);
        const Text& host = task.request_.host;
        if (isDottedIpv4(host)) {
            task.address_ = host;
        } else {
            const Text name = hostName(host);
            task.log(DownloadLog::kProgress, utf8ToGbk("正在解析域名 [") + name + "]");
            if (!platform::resolveIpv4(gbkToUtf8(name), task.address_)) {
                task.log(DownloadLog::kError, utf8ToGbk("解析域名 [") + name + utf8ToGbk("]出错"));
                return -1;
            }
        }
        if (openAndConnect(task, worker, true) != 1) {
            return -1;
        }
        HttpResponse& response = worker.response;
        response = HttpResponse();
        int result = exchange(task, worker, task.request_.extraHeader, response, body);
        if (result != 1) {
            return result;
        }
        if (response.contentDisposition && task.localIsFolder_) {
            Text name = dispositionFileName(*response.contentDisposition);
            if (!name.empty() && name.find('/') == Text::npos && name != "." && name != "..") {
                task.localPath_ += name;
                task.localIsFolder_ = false;
            }
        }
        switch (response.status) {
            case 200:
            case 206:
                return 1;
            case 301:
            case 302:
                break;
            default:
                return refuseStatus(task, response.status);
        }
        if (!response.location) {
            task.logUtf8(DownloadLog::kError, "获得重定向信息错误");
            return 0;
        }
        task.log(DownloadLog::kError, utf8ToGbk("重定向到 [") + *response.location + "]");
        // A server that redirects to itself would otherwise hold the thread for ever.
        if (redirects + 1 >= kRedirectLimit || !applyRedirect(task.request_, response)) {
            task.logUtf8(DownloadLog::kError, "COOKIE过长或获得重定向信息错误或不支持的协议");
            return 0;
        }
        worker.closeSocket();
        body.clear();
    }
}

int segmentRequest(Task& task, Worker& worker, std::int64_t position, std::string& body) {
    if (openAndConnect(task, worker, false) != 1) {
        return -1;
    }
    HttpResponse& response = worker.response;
    response = HttpResponse();
    const std::string range = "Range: bytes=" + std::to_string(position) + "-\r\n";
    int result = exchange(task, worker, range, response, body);
    if (result != 1) {
        return result;
    }
    // A server that ignores the range sends the file from its start: taking that
    // for the segment would write the wrong bytes. A 200 answer is only right for
    // position 0, a 206 only when it starts where it was asked to.
    const bool rangeIgnored =
        response.contentLength == task.totalLength_ || (response.status == 200 && position != 0) ||
        (response.status == 206 && response.contentRange >= 0 && response.contentRange != position);
    // A file that changed on the server since its length was learned would mix
    // two versions in one target.
    if (response.status == 206 && response.contentRangeTotal >= 0 &&
        response.contentRangeTotal != task.totalLength_) {
        task.logUtf8(DownloadLog::kError, "服务器上的文件已改变");
        return 0;
    }
    if (response.status == 200 || response.status == 206) {
        if (rangeIgnored) {
            task.logUtf8(DownloadLog::kError, "出现错误");
            return 0;
        }
        return 1;
    }
    return refuseStatus(task, response.status);
}

}  // namespace lumivox::online
