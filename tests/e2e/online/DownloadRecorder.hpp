#pragma once
// Records what a download task reports (events and messages, messages in
// UTF-8) and lets a test wait for the end of the task.
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "base/Encoding.hpp"
#include "base/Sync.hpp"
#include "online/Download.hpp"

namespace lumivox::online {

struct RecordedEvent {
    int code;
    std::int64_t value;
    std::int64_t extra;
    std::string path;
};

struct RecordedMessage {
    int level;
    std::string text;
};

class DownloadRecorder {
  public:
    // Fills the callbacks of `param`; `sameNameAnswer` answers event 18 (and may set `renameTo`).
    void attach(TaskParam& param) {
        param.logCallback = [this](Download*, const Text& stamp, const Text& message, int level) {
            std::lock_guard lock(mutex_);
            stamps_.push_back(stamp);
            messages_.push_back({level, gbkToUtf8(message)});
        };
        param.eventCallback = [this](int code, Download*, std::int64_t value, std::int64_t extra,
                                     Text& path) {
            int answer = 0;
            {
                std::lock_guard lock(mutex_);
                events_.push_back({code, value, extra, gbkToUtf8(path)});
                if (code == DownloadEvent::kSameName) {
                    answer = sameNameAnswer;
                    if (answer == 2)
                        path = utf8ToGbk(renameTo);
                }
            }
            if (code == DownloadEvent::kTaskEnded)
                ended_.set();
            return answer;
        };
    }

    bool waitForEnd(std::chrono::milliseconds timeout) { return ended_.waitFor(timeout); }

    std::vector<RecordedEvent> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<RecordedMessage> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<Text> stamps() {
        std::lock_guard lock(mutex_);
        return stamps_;
    }
    int count(int code) {
        int n = 0;
        for (const auto& e : events())
            n += e.code == code;
        return n;
    }
    bool logged(int level, const std::string& text) {
        for (const auto& m : messages()) {
            if (m.level == level && m.text == text)
                return true;
        }
        return false;
    }
    int timesLogged(const std::string& text) {
        int n = 0;
        for (const auto& m : messages())
            n += m.text == text;
        return n;
    }
    std::string allMessages() {
        std::string all;
        for (const auto& m : messages())
            all += "[" + std::to_string(m.level) + "] " + m.text + "\n";
        return all;
    }

    int sameNameAnswer = 0;
    std::string renameTo;

  private:
    std::mutex mutex_;
    std::vector<RecordedEvent> events_;
    std::vector<RecordedMessage> messages_;
    std::vector<Text> stamps_;
    Event ended_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes that repeat with no short period, so a misplaced segment shows.
inline std::string patternBytes(std::size_t size, std::uint32_t seed = 1) {
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<char>(x);
    }
    return bytes;
}

}  // namespace lumivox::online
