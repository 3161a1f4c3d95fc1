// The version file over the download engine's sockets (one HTTP/1.0 GET needs
// no HTTP library: the answer is everything the server sends before it closes),
// web pages through the desktop's opener (xdg-open).
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/Sockets.hpp"
#include "platform/Web.hpp"

extern char** environ;

namespace lumivox::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr std::size_t kHeaderLimit = 64 * 1024;

struct Endpoint {
    std::string host;  // without brackets or port
    int port = 80;
};

// "host", "host:port" or "[v6]:port"; nothing when the port is not a number.
std::optional<Endpoint> parseAuthority(std::string_view authority, int defaultPort) {
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);  // no user name or password is sent
    }
    Endpoint endpoint;
    endpoint.port = defaultPort;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        endpoint.host = std::string(authority.substr(1, close - 1));
        if (close + 1 < authority.size() && authority[close + 1] == ':') {
            port = authority.substr(close + 2);
        }
    } else {
        const std::size_t colon = authority.find(':');
        endpoint.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
        }
    }
    if (!port.empty()) {
        int value = 0;
        for (char c : port) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || value > 65535) {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
        }
        if (value <= 0 || value > 65535) {
            return std::nullopt;
        }
        endpoint.port = value;
    }
    if (endpoint.host.empty()) {
        return std::nullopt;
    }
    return endpoint;
}

const char* environment(const char* lower, const char* upper) {
    const char* value = std::getenv(lower);
    if ((value == nullptr || *value == '\0') && upper != nullptr) {
        value = std::getenv(upper);
    }
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// True when no_proxy names the host: "*", the host itself, or a domain it ends in.
bool bypassesProxy(const std::string& host) {
    const char* list = environment("no_proxy", "NO_PROXY");
    if (list == nullptr) {
        return false;
    }
    auto lower = [](std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    };
    const std::string name = lower(host);
    std::string_view rest = list;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        std::string entry = lower(std::string(rest.substr(0, comma)));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        entry.erase(0, entry.find_first_not_of(" \t"));
        entry.erase(entry.find_last_not_of(" \t") + 1);
        if (entry == "*") {
            return true;
        }
        if (!entry.empty() && entry.front() == '.') {
            entry.erase(0, 1);
        }
        if (entry.empty()) {
            continue;
        }
        if (name == entry || (name.size() > entry.size() &&
                              name.compare(name.size() - entry.size(), entry.size(), entry) == 0 &&
                              name[name.size() - entry.size() - 1] == '.')) {
            return true;
        }
    }
    return false;
}

// The proxy the environment names for plain HTTP (http_proxy, else all_proxy),
// as curl and other command-line clients read it; port 1080 when none is given.
std::optional<Endpoint> environmentProxy(const std::string& host) {
    const char* value = environment("http_proxy", nullptr);
    if (value == nullptr) {
        value = environment("all_proxy", "ALL_PROXY");
    }
    if (value == nullptr || bypassesProxy(host)) {
        return std::nullopt;
    }
    std::string_view text = value;
    if (const std::size_t scheme = text.find("://"); scheme != std::string_view::npos) {
        if (text.substr(0, scheme) != "http") {
            return std::nullopt;  // a SOCKS or TLS proxy is not spoken here
        }
        text.remove_prefix(scheme + 3);
    }
    text = text.substr(0, text.find('/'));
    return parseAuthority(text, 1080);
}

class Connection {
public:
    explicit Connection(SocketHandle socket) : socket_(socket) {}
    ~Connection() { closeSocket(socket_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    SocketHandle socket() const { return socket_; }

private:
    SocketHandle socket_;
};

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000000));
}

// Connects within the time-out; false on failure.
bool connectTo(SocketHandle socket, const Endpoint& endpoint, Clock::time_point deadline) {
    std::string address;
    if (!resolveIpv4(endpoint.host, address) || setNonBlocking(socket) != 0) {
        return false;
    }
    const int started = startConnect(socket, address, endpoint.port);
    if (started == 0) {
        return true;
    }
    if (started != kWouldBlock) {
        return false;
    }
    const int ready = waitSocket(socket, false, true, millisecondsUntil(deadline));
    return ready > 0 && (ready & kFailed) == 0 && pendingError(socket) == 0;
}

bool sendAll(SocketHandle socket, std::string_view text, Clock::time_point deadline) {
    while (!text.empty()) {
        const int ready = waitSocket(socket, false, true, millisecondsUntil(deadline));
        if (ready <= 0 || (ready & kWritable) == 0) {
            return false;
        }
        const long sent = sendSome(socket, text.data(), text.size());
        if (sent == kWouldBlock) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Where the body starts (after the empty line), or npos while the header goes on.
std::size_t bodyStart(const std::string& data) {
    const std::size_t crlf = data.find("\r\n\r\n");
    const std::size_t lf = data.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos) {
        return std::string::npos;
    }
    return crlf != std::string::npos && (lf == std::string::npos || crlf < lf) ? crlf + 4
                                                                                : lf + 2;
}

}  // namespace

ByteData readHttpFile(const std::string& url, const HttpReadLimits& limits) {
    // Everything from the first "#" on is the page's own and never sent.
    std::string_view rest = std::string_view(url).substr(0, url.find('#'));
    constexpr std::string_view kScheme = "http://";
    if (rest.size() < kScheme.size()) {
        return {};
    }
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(rest[i])) != kScheme[i]) {
            return {};  // https and the rest are not read here
        }
    }
    rest.remove_prefix(kScheme.size());
    const std::size_t pathStart = std::min(rest.find('/'), rest.find('?'));
    const std::optional<Endpoint> server = parseAuthority(rest.substr(0, pathStart), 80);
    if (!server) {
        return {};
    }
    std::string path =
        pathStart == std::string_view::npos ? "/" : std::string(rest.substr(pathStart));
    if (path.front() == '?') {
        path.insert(0, "/");
    }
    const bool bracketed = server->host.find(':') != std::string::npos;
    const std::string hostHeader = (bracketed ? "[" + server->host + "]" : server->host) +
                                   (server->port == 80 ? "" : ":" + std::to_string(server->port));
    const std::optional<Endpoint> proxy = environmentProxy(server->host);
    // Through a proxy the request names the whole URL.
    const std::string target = proxy ? "http://" + hostHeader + path : path;
    const std::string request = "GET " + target + " HTTP/1.0\r\nHost: " + hostHeader +
                                "\r\nUser-Agent: " + kAgent +
                                "\r\nAccept: */*\r\nPragma: no-cache\r\nCache-Control: "
                                "no-cache\r\n\r\n";

    const auto started = Clock::now();
    const auto endAll = started + std::chrono::milliseconds(limits.totalTimeoutMs);
    const auto endConnect = std::min(endAll, started + std::chrono::milliseconds(limits.connectTimeoutMs));
    Connection connection(openTcpSocket());
    if (connection.socket() == kNoSocket ||
        !connectTo(connection.socket(), proxy ? *proxy : *server, endConnect) ||
        !sendAll(connection.socket(), request, endAll)) {
        return {};
    }
    // The answer until the server closes (HTTP/1.0), a failure, or a limit: the
    // status is not looked at, and what came before a failure is kept.
    std::string data;
    std::size_t body = std::string::npos;
    char chunk[16384];
    while (true) {
        const auto silenceEnd = Clock::now() + std::chrono::milliseconds(limits.silenceTimeoutMs);
        const int ready =
            waitSocket(connection.socket(), true, false, millisecondsUntil(std::min(silenceEnd, endAll)));
        if (ready <= 0) {
            break;  // silence, the whole time used up, or a failed wait
        }
        const long received = receiveSome(connection.socket(), chunk, sizeof chunk);
        if (received == kWouldBlock) {
            continue;
        }
        if (received <= 0) {
            break;  // closed by the server, or failed
        }
        data.append(chunk, static_cast<std::size_t>(received));
        if (body == std::string::npos) {
            body = bodyStart(data);
            if (body == std::string::npos && data.size() > kHeaderLimit) {
                return {};
            }
        }
        if (body != std::string::npos && limits.maxBodyBytes != 0 &&
            data.size() - body > limits.maxBodyBytes) {
            return {};
        }
    }
    if (body == std::string::npos) {
        return {};
    }
    return ByteData(data.begin() + static_cast<std::ptrdiff_t>(body), data.end());
}

bool openWebPage(const std::string& url) {
    std::string opener = "xdg-open";
    std::string argument = url;
    char* argv[] = {opener.data(), argument.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        return false;
    }
    // The opener hands the page to the browser and ends; reap it out of the way.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace lumivox::platform
