#pragma once
// The real program with its remote panel switched on from a prepared
// lumivox.ini, under a private X server and sound server, with a chat box (the
// phrase target) that has the keyboard focus; and a plain HTTP client that
// sends exactly the bytes a test gives.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/SoundRecording.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

inline const std::string kRemoteToken = "Zk3Qp9LmXw2Rt7Vb5Nc8Hd4Jf6Gs1Ay0";

struct HttpAnswer {
    int status = 0;  // 0: no answer (closed or timed out)
    std::string head, body;
};

// A TCP connection to address:port (its descriptor), or -1.
int connectTo(int port, const std::string& address = "127.0.0.1");
// Sends `request` as it is to address:port and reads until the server closes.
HttpAnswer httpExchange(int port, const std::string& request,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10),
                        const std::string& address = "127.0.0.1");
// A request line, Host (default: the listening address), the token when given.
HttpAnswer apiCall(int port, const std::string& method, const std::string& path,
                   const std::string& token, const std::string& host = "");

class RemoteProgram {
  public:
    // `remoteGroup` is the [remote] group's text ("" for none); PORT in it is
    // replaced by a free loopback port.
    explicit RemoteProgram(const std::string& remoteGroup);
    ~RemoteProgram();

    bool ok() const { return ok_; }
    int port() const { return port_; }
    pid_t pid() const { return program_->pid(); }
    bool running() { return program_->running(); }
    void kill() { program_->terminate(); }
    std::string log() const;

    // The chat box's sent messages (one line each).
    std::string chatMessages() const;
    // When the chat box sent its last message (CLOCK_MONOTONIC ns), 0 before any.
    long long lastMessageNs() const;
    // A click on a main-window control (its layout name).
    void click(const std::string& control) const;
    const PrivateDisplay& display() const { return display_; }
    SoundRecorder& recorder() { return *recorder_; }
    const std::filesystem::path& config() const { return config_.path(); }

    // Sound at the sink after sample `from`; silence after it.
    bool heardAfter(std::size_t from, std::chrono::milliseconds limit);
    bool quietAfter(std::size_t from, std::chrono::milliseconds limit);
    // The program's listening TCP sockets (from /proc): none when the panel is off.
    int listeningSockets() const;
    // The program's resident memory in KiB.
    long residentKiB() const;

  private:
    PrivateDisplay display_;
    std::unique_ptr<PulseServer> sound_;
    std::unique_ptr<SoundRecorder> recorder_;
    TempDir config_, work_, chat_;
    std::unique_ptr<Subprocess> target_, program_;
    int port_ = 0;
    bool ok_ = false;
};

}  // namespace lumivox::testing
