#pragma once
// A scriptable HTTP/1.1 web site on a loopback port for tests of the download
// engine, in the manner of curl's test server: one small reply description per
// request target, and a record of the exact bytes of every request received.
#include <atomic>
#include <chrono>
#include <climits>
#include <cstddef>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumivox::testing {

struct SiteReply {
    int status = 200;
    std::string reason;                // "OK", "Found", ... by default
    std::string body;                  // the file, or the page of a redirect or error
    bool honourRanges = true;          // "Range: bytes=N-[M]" gets 206 and Content-Range
    bool contentLength = true;         // send Content-Length...
    bool rangeContentLength = true;    // ...also to requests with a Range line
    long long rangeShift = 0;          // a ranged answer starts this far from the position asked
    long long rangeTotalShift = 0;     // ...and names a total this far from the body's length
    std::vector<std::string> headers;  // more header lines, without CR LF
    // Close the connection after this many body bytes, for the first
    // `closeTimes` requests of this target (every one by default).
    std::size_t closeAfterBodyBytes = SIZE_MAX;
    int closeTimes = INT_MAX;
    std::chrono::milliseconds stall{0};           // silence before the answer...
    int stallTimes = INT_MAX;                     // ...for the first `stallTimes` requests
    std::size_t slowChunkBytes = 0;               // send the body in pieces of this size...
    std::chrono::milliseconds slowChunkDelay{0};  // ...with this pause after each
};

class TestWebSite {
  public:
    // Listens on `address`:`port` (a free port when 0). Throws when it cannot bind.
    explicit TestWebSite(const std::string& address = "127.0.0.1", int port = 0);
    ~TestWebSite();
    TestWebSite(const TestWebSite&) = delete;
    TestWebSite& operator=(const TestWebSite&) = delete;

    int port() const { return port_; }
    // "<address>:<port>" (the address alone on port 80), the host text of its URLs.
    std::string host() const;
    // "http://" + host() + target.
    std::string url(const std::string& target) const;

    // The reply for requests whose target is exactly `target` (others get 404).
    void serve(const std::string& target, SiteReply reply);

    // The exact bytes of every request received so far, in arrival order.
    std::vector<std::string> requests() const;
    // Those whose request line asks for `target`.
    std::vector<std::string> requestsFor(const std::string& target) const;

  private:
    void acceptLoop();
    void handle(int connection);

    std::string address_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::map<std::string, SiteReply> replies_;
    std::map<std::string, int> served_;
    std::vector<std::string> requests_;
    std::list<std::thread> connections_;
};

// host:port of a site, started once per test process, whose version file names
// another version than the program's: a program under test that checks it runs
// on without an update or a failure message.
std::string runOnVersionHost();

// A loopback port on which nothing listens (taken and released at once).
int unusedLoopbackPort();

}  // namespace lumivox::testing
