#include "tests/e2e/remote/RemoteProgram.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "base/Encoding.hpp"
#include "tests/support/MainWindowPoints.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kLoud = 800;
const std::string kSeparator = "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";

}  // namespace

int connectTo(int port, const std::string& to) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, to.c_str(), &address.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

HttpAnswer httpExchange(int port, const std::string& request, std::chrono::milliseconds timeout,
                        const std::string& to) {
    HttpAnswer answer;
    const int fd = connectTo(port, to);
    if (fd < 0) {
        return answer;
    }
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string bytes;
    const auto until = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    const std::size_t blank = bytes.find("\r\n\r\n");
    std::smatch m;
    const std::string head = bytes.substr(0, blank);
    if (blank != std::string::npos &&
        std::regex_search(head, m, std::regex(R"(^HTTP/1\.1 (\d+))"))) {
        answer.status = std::stoi(m[1]);
        answer.head = head;
        answer.body = bytes.substr(blank + 4);
    }
    return answer;
}

HttpAnswer apiCall(int port, const std::string& method, const std::string& path,
                   const std::string& token, const std::string& host) {
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: " +
                          (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) + "\r\n";
    if (!token.empty()) {
        request += "Authorization: Bearer " + token + "\r\n";
    }
    if (method == "POST") {
        request += "Content-Length: 0\r\n";
    }
    return httpExchange(port, request + "\r\n");
}

RemoteProgram::RemoteProgram(const std::string& remoteGroup) {
    if (!display_.ok()) {
        return;
    }
    sound_ = std::make_unique<PulseServer>();
    if (!sound_->ok()) {
        return;
    }
    sound_->useInThisProcess();
    recorder_ = std::make_unique<SoundRecorder>();
    if (!recorder_->ok()) {
        return;
    }
    port_ = unusedLoopbackPort();
    const fs::path data = config_.path() / "Lumivox";
    fs::create_directories(data);
    std::string group = remoteGroup;
    for (std::size_t at; (at = group.find("PORT")) != std::string::npos;) {
        group.replace(at, 4, std::to_string(port_));
    }
    std::ofstream(data / "lumivox.ini") << group;
    // Phrases 1 to 12 ("短语 k"), and song slot 2 with a tone of its own.
    std::string phrases;
    for (int k = 1; k <= 12; ++k) {
        phrases += utf8ToGbk("短语 " + std::to_string(k)) + kSeparator;
    }
    std::ofstream(data / "快捷键配置.txt", std::ios::binary) << phrases;
    const fs::path wave = work_ / "tone.wav";
    const fs::path song = work_ / "song.mp3";
    runCommand("sox -n -r 44100 -b 16 -c 2 '" + wave.string() + "' synth 20 sine 440 vol 0.5 && " +
               "lame --quiet -b 128 '" + wave.string() + "' '" + song.string() + "' 2>&1");
    std::string slots;
    for (int slot = 1; slot <= 18; ++slot) {
        slots += (slot == 2 ? "song" : utf8ToGbk("空")) + kSeparator +
                 (slot == 2 ? song.string() : "") + kSeparator;
    }
    std::ofstream(data / "自定义配置.txt", std::ios::binary) << slots;

    target_ = std::make_unique<Subprocess>(
        std::vector<std::string>{(binaryDir() / "tests/e2e/hotkeys/hotkeys_phrase_target").string(),
                                 chat_.path().string(), "chat"},
        display_.environment(), work_ / "target-out.txt", work_ / "target-err.txt");
    if (!waitUntil([&] { return display_.geometry("PhraseTarget").viewable; }, 60s)) {
        return;
    }
    auto env = display_.environment();
    for (const auto& [key, value] : sound_->environment()) {
        env[key] = value;
    }
    env["XDG_CONFIG_HOME"] = config_.path().string();
    env["LUMIVOX_SERVER"] = runOnVersionHost();
    // Under AddressSanitizer freed memory waits in a quarantine of 256 MiB, which
    // would hide whether the program's own memory stays bounded; a small one.
    const char* asan = std::getenv("ASAN_OPTIONS");
    env["ASAN_OPTIONS"] = std::string(asan != nullptr ? asan : "") + ":quarantine_size_mb=4";
    program_ =
        std::make_unique<Subprocess>(std::vector<std::string>{(binaryDir() / "lumivox").string()},
                                     env, work_ / "out.txt", work_ / "err.txt");
    if (!waitUntil([&] { return display_.geometry("LumivoxV1.0").viewable; }, 60s)) {
        return;
    }
    // The chat box has the focus again, as the host leaves it.
    display_.x("xdotool search --name PhraseTarget windowfocus --sync");
    ok_ = true;
}

RemoteProgram::~RemoteProgram() {
    if (program_ && program_->running()) {
        program_->terminate();
    }
}

std::string RemoteProgram::log() const {
    return "program: " + wholeFile(work_ / "err.txt") +
           "\ntarget: " + wholeFile(work_ / "target-err.txt");
}

std::string RemoteProgram::chatMessages() const {
    std::istringstream lines(wholeFile(chat_ / "messages.log"));
    std::string line, texts;
    while (std::getline(lines, line)) {
        texts += line.substr(line.find(' ') + 1) + "\n";
    }
    return texts;
}

long long RemoteProgram::lastMessageNs() const {
    std::istringstream lines(wholeFile(chat_ / "messages.log"));
    std::string line;
    long long last = 0;
    while (std::getline(lines, line)) {
        last = std::atoll(line.c_str());
    }
    return last;
}

void RemoteProgram::click(const std::string& control) const {
    const auto [cx, cy] = mainWindowCentre(control);
    const WindowGeometry window = display_.geometry("LumivoxV1.0");
    display_.x("xdotool mousemove " + std::to_string(window.x + cx) + " " +
               std::to_string(window.y + cy) + " click 1");
}

bool RemoteProgram::heardAfter(std::size_t from, std::chrono::milliseconds limit) {
    return recorder_->waitForLoud(from, kLoud, limit) >= 0;
}

bool RemoteProgram::quietAfter(std::size_t from, std::chrono::milliseconds limit) {
    return recorder_->waitForQuiet(from, kLoud / 4, static_cast<std::size_t>(kRecordRate * 0.4),
                                   limit) >= 0;
}

int RemoteProgram::listeningSockets() const {
    // The socket inodes the program holds, then those of them that listen.
    std::set<std::string> inodes;
    const fs::path fds = "/proc/" + std::to_string(program_->pid()) + "/fd";
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fds, error)) {
        const std::string target = fs::read_symlink(entry.path(), error).string();
        if (target.starts_with("socket:[")) {
            inodes.insert(target.substr(8, target.size() - 9));
        }
    }
    int listening = 0;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::istringstream lines(wholeFile(table));
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
                timeout >> inode;
            listening += state == "0A" && inodes.count(inode) ? 1 : 0;
        }
    }
    return listening;
}

long RemoteProgram::residentKiB() const {
    std::smatch m;
    const std::string status = wholeFile("/proc/" + std::to_string(program_->pid()) + "/status");
    return std::regex_search(status, m, std::regex(R"(VmRSS:\s+(\d+))")) ? std::stol(m[1]) : -1;
}

}  // namespace lumivox::testing
