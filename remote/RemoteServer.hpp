#pragma once
// The remote panel's HTTP server: the page at "/" and the API under "/api/",
// over cpp-httplib, with the limits that keep a misbehaving client from slowing
// anything else.
//
// Threads: the library's accept thread hands every new connection to the
// gatekeeper, one thread that reads all connections' requests at once (poll)
// until a whole request is there (frameRequest), the time limit passes or the
// connection cap is reached; a slow or endless client therefore holds no
// worker. Whole requests go to a fixed pool of workers, which let the library
// parse and route them and write the answer; an event stream holds its worker
// while it lasts (at most kMaxEventStreams of them, the rest of the pool stays
// for requests). Handlers reach the program only through RemoteBoard, which
// hands each call to the GUI thread; the GUI thread never waits for the server.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "remote/RemoteApi.hpp"
#include "remote/RemoteEvents.hpp"
#include "remote/RemoteSettings.hpp"

namespace lumivox {

struct ServerLimits {
    int requestTimeoutMs = 10000;             // from the connection to its whole request
    int writeTimeoutMs = 5000;                // for each part of an answer to go out
    std::size_t maxPendingConnections = 256;  // reading their request
    std::size_t maxQueuedRequests = 64;       // whole, waiting for a worker
    std::size_t requestWorkers = 8;           // besides the event streams
};

class RemoteServer {
  public:
    RemoteServer(RemoteBoard& board, ServerLimits limits = {});
    // Stops and waits for every thread. Call where no worker can be waiting for
    // the GUI thread's answer (not on the GUI thread while it serves others).
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // Binds and starts serving; false when the address cannot be had (the
    // port is taken). Port 0 picks a free one (tests).
    bool start(const ListenAddress& listen, const std::string& token);
    // Closes the listening socket and tells every thread to end, without
    // waiting (the GUI thread may call it); the destructor waits.
    void beginStop();
    int port() const { return port_; }

    // A new token: from now on only it is taken, and open event streams end.
    void setToken(const std::string& token);
    // An event to every open stream.
    void publish(std::string_view name, std::string_view data);
    std::size_t openStreams() { return events_.openCount(); }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    EventHub events_;
    int port_ = 0;
};

}  // namespace lumivox
