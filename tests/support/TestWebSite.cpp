#include "tests/support/TestWebSite.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace lumivox::testing {
namespace {

using std::chrono::milliseconds;

int bindLoopback(int& port, const std::string& on = "127.0.0.1") {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, on.c_str(), &address.sin_addr);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        throw std::runtime_error("cannot bind a loopback port");
    }
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

bool sendAll(int s, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(s, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string defaultReason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 404:
            return "Not Found";
        default:
            return "Status";
    }
}

// The target of a request line "GET <target> HTTP/1.1".
std::string requestTarget(const std::string& request) {
    std::size_t first = request.find(' ');
    std::size_t second = request.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return {};
    return request.substr(first + 1, second - first - 1);
}

// Sleeps unless the site is being shut down.
void pause(const std::atomic<bool>& stop, milliseconds time) {
    auto until = std::chrono::steady_clock::now() + time;
    while (!stop && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(milliseconds(5));
    }
}

}  // namespace

int unusedLoopbackPort() {
    int port = 0;
    ::close(bindLoopback(port));
    return port;
}

TestWebSite::TestWebSite(const std::string& address, int port) : address_(address), port_(port) {
    listener_ = bindLoopback(port_, address_);
    ::listen(listener_, 64);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

TestWebSite::~TestWebSite() {
    stop_ = true;
    acceptor_.join();
    for (auto& connection : connections_)
        connection.join();
    ::close(listener_);
}

std::string TestWebSite::host() const {
    return port_ == 80 ? address_ : address_ + ":" + std::to_string(port_);
}

std::string TestWebSite::url(const std::string& target) const {
    return "http://" + host() + target;
}

void TestWebSite::serve(const std::string& target, SiteReply reply) {
    std::lock_guard lock(mutex_);
    replies_[target] = std::move(reply);
}

std::vector<std::string> TestWebSite::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> TestWebSite::requestsFor(const std::string& target) const {
    std::vector<std::string> found;
    for (const auto& request : requests()) {
        if (requestTarget(request) == target)
            found.push_back(request);
    }
    return found;
}

void TestWebSite::acceptLoop() {
    while (!stop_) {
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, 20) <= 0)
            continue;
        int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, connection] { handle(connection); });
    }
}

void TestWebSite::handle(int connection) {
    // The request: everything up to the empty line, as it came.
    std::string request;
    char chunk[4096];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (request.find("\r\n\r\n") == std::string::npos && !stop_ &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd entry{connection, POLLIN, 0};
        if (::poll(&entry, 1, 20) <= 0)
            continue;
        ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        request.append(chunk, static_cast<std::size_t>(n));
    }
    SiteReply reply;
    bool known = false;
    int servedBefore = 0;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        auto found = replies_.find(requestTarget(request));
        if (found != replies_.end()) {
            known = true;
            reply = found->second;
            servedBefore = served_[found->first]++;
        }
    }
    if (!known) {
        reply.status = 404;
        reply.body = "<html>not found</html>";
    }
    if (servedBefore < reply.stallTimes)
        pause(stop_, reply.stall);

    int status = reply.status;
    std::string body = reply.body;
    std::string rangeHeader;
    std::size_t rangeAt = request.find("\r\nRange: bytes=");
    if (status == 200 && reply.honourRanges && rangeAt != std::string::npos) {
        const char* range = request.c_str() + rangeAt + 15;
        char* end = nullptr;
        unsigned long long first = std::strtoull(range, &end, 10) + reply.rangeShift;
        unsigned long long last = body.empty() ? 0 : body.size() - 1;
        if (end != nullptr && *end == '-' && end[1] >= '0' && end[1] <= '9') {
            last = std::min<unsigned long long>(std::strtoull(end + 1, nullptr, 10), last);
        }
        if (first < body.size()) {
            rangeHeader =
                "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                std::to_string(static_cast<long long>(body.size()) + reply.rangeTotalShift) +
                "\r\n";
            body = body.substr(first, last - first + 1);
            status = 206;
        }
    }
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " +
                       (reply.reason.empty() ? defaultReason(status) : reply.reason) + "\r\n";
    head += "Server: lumivox-test\r\n";
    head += rangeHeader;
    const bool ranged = rangeAt != std::string::npos;
    if (reply.contentLength && (!ranged || reply.rangeContentLength))
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    for (const auto& line : reply.headers)
        head += line + "\r\n";
    head += "Connection: close\r\n\r\n";

    std::size_t bodyBytes = body.size();
    if (servedBefore < reply.closeTimes)
        bodyBytes = std::min(bodyBytes, reply.closeAfterBodyBytes);
    bool ok = sendAll(connection, head.data(), head.size());
    std::size_t piece = reply.slowChunkBytes > 0 ? reply.slowChunkBytes : bodyBytes;
    for (std::size_t at = 0; ok && at < bodyBytes && !stop_; at += piece) {
        ok = sendAll(connection, body.data() + at, std::min(piece, bodyBytes - at));
        if (reply.slowChunkDelay.count() > 0)
            pause(stop_, reply.slowChunkDelay);
    }
    ::shutdown(connection, SHUT_WR);
    // Let the client see the close before the socket goes (drain what it still sends).
    for (int i = 0; i < 50 && !stop_; ++i) {
        pollfd entry{connection, POLLIN, 0};
        if (::poll(&entry, 1, 20) > 0 && ::recv(connection, chunk, sizeof chunk, 0) <= 0)
            break;
    }
    ::close(connection);
}

std::string runOnVersionHost() {
    // Lives as long as the test process; destroyed at its exit, which stops the
    // site and joins its connection threads (ThreadSanitizer reports a finished
    // thread that was never joined as a leak).
    static TestWebSite site;
    static const bool served = [] {
        SiteReply reply;
        reply.body = "0---http://127.0.0.1/none---none";
        site.serve("/111.txt", reply);
        return true;
    }();
    (void)served;
    return site.host();
}

}  // namespace lumivox::testing
