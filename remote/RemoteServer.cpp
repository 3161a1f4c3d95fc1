#include "remote/RemoteServer.hpp"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>
#include <vector>

#include "platform/Sockets.hpp"
#include "remote/PanelPage.hpp"
#include "remote/RequestFraming.hpp"

namespace lumivox {
namespace {

using Clock = std::chrono::steady_clock;
using platform::SocketHandle;

constexpr int kGatekeeperPollMs = 10;
constexpr auto kStreamQuiet = std::chrono::seconds(15);
constexpr char kJson[] = "application/json; charset=utf-8";

// One whole request, read by the gatekeeper: the library reads it from here and
// writes its answer to the socket (non-blocking, each part within the limit).
class RequestStream : public httplib::Stream {
  public:
    RequestStream(SocketHandle socket, std::string bytes, int writeTimeoutMs)
        : socket_(socket), bytes_(std::move(bytes)), writeTimeoutMs_(writeTimeoutMs) {}

    bool is_readable() const override { return offset_ < bytes_.size(); }
    bool is_writable() const override {
        const int ready = platform::waitSocket(socket_, false, true, writeTimeoutMs_);
        return ready > 0 && (ready & platform::kWritable) && !(ready & platform::kFailed);
    }
    ssize_t read(char* ptr, size_t size) override {
        const std::size_t n = std::min(size, bytes_.size() - offset_);
        std::copy_n(bytes_.data() + offset_, n, ptr);
        offset_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        std::size_t done = 0;
        while (done < size) {
            const long sent = platform::sendSome(socket_, ptr + done, size - done);
            if (sent > 0) {
                done += static_cast<std::size_t>(sent);
            } else if (sent != platform::kWouldBlock || !is_writable()) {
                return -1;
            }
        }
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        platform::peerAddress(socket_, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        platform::localAddress(socket_, ip, port);
    }
    socket_t socket() const override { return static_cast<socket_t>(socket_); }

  private:
    SocketHandle socket_;
    std::string bytes_;
    std::size_t offset_ = 0;
    int writeTimeoutMs_;
};

// The library's server with its connections handed to us as they are accepted.
class GuardedHttp : public httplib::Server {
  public:
    std::function<void(SocketHandle)> admit;

    void serve(httplib::Stream& stream) {
        bool closed = false;
        process_request(stream, true, closed, [](httplib::Request&) {});
    }

  private:
    bool process_and_close_socket(socket_t socket) override {
        admit(static_cast<SocketHandle>(socket));
        return true;
    }
};

// The accept loop's queue: a connection goes to the gatekeeper at once.
class HandOver : public httplib::TaskQueue {
  public:
    void enqueue(std::function<void()> work) override { work(); }
    void shutdown() override {}
};

// A short answer from the gatekeeper (refused, too slow, too many), best effort.
void refuse(SocketHandle socket, int status) {
    const char* reason = status == 408   ? "Request Timeout"
                         : status == 413 ? "Payload Too Large"
                         : status == 431 ? "Request Header Fields Too Large"
                         : status == 503 ? "Service Unavailable"
                                         : "Bad Request";
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                               "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    platform::sendSome(socket, answer.data(), answer.size());
    platform::shutdownSocket(socket);
    platform::closeSocket(socket);
}

void closeConnection(SocketHandle socket) {
    platform::shutdownSocket(socket);
    platform::closeSocket(socket);
}

}  // namespace

struct RemoteServer::Impl {
    Impl(RemoteServer& owner, RemoteBoard& board, ServerLimits limits)
        : owner(owner), board(board), limits(limits) {}

    struct Pending {
        SocketHandle socket;
        std::string bytes;
        Clock::time_point deadline;
    };
    struct Whole {
        SocketHandle socket;
        std::string bytes;
    };

    RemoteServer& owner;
    RemoteBoard& board;
    const ServerLimits limits;
    GuardedHttp http;
    std::thread listener, gatekeeper;
    std::vector<std::thread> workers;

    std::mutex mutex;  // guards everything below
    std::condition_variable arrived, queued;
    std::vector<SocketHandle> incoming;
    std::size_t pendingCount = 0;  // incoming and being read
    std::deque<Whole> whole;
    bool stopping = false;
    std::string token;

    std::string currentToken() {
        std::lock_guard lock(mutex);
        return token;
    }

    void admit(SocketHandle socket) {
        {
            std::lock_guard lock(mutex);
            if (!stopping && pendingCount < limits.maxPendingConnections) {
                incoming.push_back(socket);
                ++pendingCount;
                arrived.notify_one();
                return;
            }
        }
        refuse(socket, 503);
    }

    // Reads what has arrived; true while the connection is still wanted.
    bool readFrom(Pending& pending) {
        constexpr std::size_t kMost = kMaxHeadBytes + kMaxBodyBytes;
        char buffer[4096];
        while (pending.bytes.size() < kMost) {
            const long got = platform::receiveSome(
                pending.socket, buffer, std::min(sizeof buffer, kMost - pending.bytes.size()));
            if (got == platform::kWouldBlock) {
                break;
            }
            if (got <= 0) {
                closeConnection(pending.socket);
                return false;
            }
            pending.bytes.append(buffer, static_cast<std::size_t>(got));
        }
        const Framing framing = frameRequest(pending.bytes);
        if (framing.kind == Framing::Kind::Refused ||
            (framing.kind == Framing::Kind::Incomplete && pending.bytes.size() >= kMost)) {
            refuse(pending.socket, framing.status != 0 ? framing.status : 400);
            return false;
        }
        if (framing.kind == Framing::Kind::Incomplete) {
            return true;
        }
        pending.bytes.resize(framing.length);
        std::unique_lock lock(mutex);
        if (whole.size() >= limits.maxQueuedRequests) {
            lock.unlock();
            refuse(pending.socket, 503);
            return false;
        }
        whole.push_back({pending.socket, std::move(pending.bytes)});
        queued.notify_one();
        return false;
    }

    void keepGate() {
        std::vector<Pending> pending;
        std::vector<platform::SocketWait> waits;
        for (;;) {
            {
                std::unique_lock lock(mutex);
                if (pending.empty()) {
                    arrived.wait(lock, [&] { return stopping || !incoming.empty(); });
                }
                if (stopping) {
                    break;
                }
                for (const SocketHandle socket : incoming) {
                    platform::setNonBlocking(socket);
                    pending.push_back(
                        {socket,
                         {},
                         Clock::now() + std::chrono::milliseconds(limits.requestTimeoutMs)});
                }
                incoming.clear();
            }
            waits.clear();
            for (const Pending& p : pending) {
                waits.push_back({p.socket, platform::kReadable, 0});
            }
            if (platform::waitSockets(waits, kGatekeeperPollMs) < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kGatekeeperPollMs));
            }
            const Clock::time_point now = Clock::now();
            std::size_t kept = 0;
            for (std::size_t i = 0; i < pending.size(); ++i) {
                bool wanted = true;
                if (waits[i].ready != 0) {
                    wanted = readFrom(pending[i]);
                } else if (now >= pending[i].deadline) {
                    refuse(pending[i].socket, 408);
                    wanted = false;
                }
                if (wanted) {
                    pending[kept++] = std::move(pending[i]);
                }
            }
            const std::size_t gone = pending.size() - kept;
            pending.resize(kept);
            std::lock_guard lock(mutex);
            pendingCount -= gone;
        }
        for (const Pending& p : pending) {
            closeConnection(p.socket);
        }
        std::lock_guard lock(mutex);
        for (const SocketHandle socket : incoming) {
            closeConnection(socket);
        }
        incoming.clear();
    }

    void work() {
        for (;;) {
            Whole request;
            {
                std::unique_lock lock(mutex);
                queued.wait(lock, [&] { return stopping || !whole.empty(); });
                if (stopping) {
                    return;
                }
                request = std::move(whole.front());
                whole.pop_front();
            }
            RequestStream stream(request.socket, std::move(request.bytes), limits.writeTimeoutMs);
            http.serve(stream);
            closeConnection(request.socket);
        }
    }

    void answerApiRequest(const httplib::Request& request, httplib::Response& response) {
        const std::string authorization = request.get_header_value("Authorization");
        const std::string token = currentToken();
        if (isEventsPath(request.path) && request.method == "GET" &&
            bearerMatches(authorization, token)) {
            streamEvents(response);
            return;
        }
        ApiAnswer answer = answerApi({request.method, request.path, authorization}, token, board);
        response.status = answer.status;
        response.set_content(std::move(answer.body), kJson);
    }

    void streamEvents(httplib::Response& response) {
        std::shared_ptr<EventStream> stream = owner.events_.open();
        if (!stream) {
            response.status = 503;
            response.set_content(errorJson("连接的设备太多"), kJson);
            return;
        }
        // Exactly this type: the library compresses any other text/ type for a
        // browser, which would hold the events back.
        response.set_chunked_content_provider(
            "text/event-stream",
            [stream, first = true](std::size_t, httplib::DataSink& sink) mutable {
                std::string frame;
                if (first) {
                    first = false;
                    frame = "retry: 2000\n: connected\n\n";
                } else {
                    std::optional<std::string> next = stream->next(kStreamQuiet);
                    if (!next) {
                        sink.done();
                        return true;
                    }
                    frame = next->empty() ? std::string(": quiet\n\n") : std::move(*next);
                }
                return sink.write(frame.data(), frame.size());
            },
            [stream](bool) { stream->end(); });
    }

    void route() {
        http.new_task_queue = [] { return new HandOver; };
        http.admit = [this](SocketHandle socket) { admit(socket); };
        http.set_socket_options([](socket_t socket) { platform::prepareListeningSocket(socket); });
        http.set_keep_alive_max_count(1);
        http.set_payload_max_length(kMaxBodyBytes);
        // A page elsewhere that rebinds its own name to this address names it in Host.
        http.set_pre_routing_handler(
            [](const httplib::Request& request, httplib::Response& response) {
                if (hostAllowed(request.get_header_value("Host"), request.local_addr,
                                request.local_port)) {
                    return httplib::Server::HandlerResponse::Unhandled;
                }
                response.status = 403;
                response.set_content(errorJson("地址不对"), kJson);
                return httplib::Server::HandlerResponse::Handled;
            });
        http.set_post_routing_handler([](const httplib::Request&, httplib::Response& response) {
            response.set_header("Cache-Control", "no-store");
            response.set_header("X-Content-Type-Options", "nosniff");
            response.set_header("Referrer-Policy", "no-referrer");
        });
        http.Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Content-Security-Policy",
                                "default-src 'none'; script-src 'unsafe-inline'; "
                                "style-src 'unsafe-inline'; connect-src 'self'; "
                                "img-src data:; frame-ancestors 'none'");
            response.set_header("X-Frame-Options", "DENY");
            const std::string_view page = panelPage();
            response.set_content(page.data(), page.size(), "text/html; charset=utf-8");
        });
        const auto api = [this](const httplib::Request& request, httplib::Response& response) {
            answerApiRequest(request, response);
        };
        http.Get("/api/.*", api);
        http.Post("/api/.*", api);
        http.Put("/api/.*", api);
        http.Delete("/api/.*", api);
        http.Patch("/api/.*", api);
        http.Options("/api/.*", api);
    }

    void beginStop() {
        http.stop();
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        arrived.notify_all();
        queued.notify_all();
        owner.events_.endAll();
    }

    ~Impl() {
        beginStop();
        for (std::thread* thread : {&listener, &gatekeeper}) {
            if (thread->joinable()) {
                thread->join();
            }
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        for (const Whole& request : whole) {
            closeConnection(request.socket);
        }
    }
};

RemoteServer::RemoteServer(RemoteBoard& board, ServerLimits limits)
    : impl_(std::make_unique<Impl>(*this, board, limits)) {
    impl_->route();
}

RemoteServer::~RemoteServer() {
    impl_.reset();
}

bool RemoteServer::start(const ListenAddress& listen, const std::string& token) {
    if (impl_->listener.joinable()) {
        return false;
    }
    setToken(token);
    const int port = listen.port == 0 ? impl_->http.bind_to_any_port(listen.host)
                     : impl_->http.bind_to_port(listen.host, listen.port) ? listen.port
                                                                          : -1;
    if (port <= 0) {
        return false;
    }
    port_ = port;
    Impl& impl = *impl_;
    impl.listener = std::thread([&impl] { impl.http.listen_after_bind(); });
    // The library's stop only closes a server that runs: wait until it does.
    for (int i = 0; i < 2000 && !impl.http.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    impl.gatekeeper = std::thread([&impl] { impl.keepGate(); });
    for (std::size_t i = 0; i < impl.limits.requestWorkers + kMaxEventStreams; ++i) {
        impl.workers.emplace_back([&impl] { impl.work(); });
    }
    return true;
}

void RemoteServer::beginStop() {
    impl_->beginStop();
}

void RemoteServer::setToken(const std::string& token) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->token = token;
    }
    events_.endAll();
}

void RemoteServer::publish(std::string_view name, std::string_view data) {
    events_.publish(name, data);
}

}  // namespace lumivox
