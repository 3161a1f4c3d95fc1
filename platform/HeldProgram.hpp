#pragma once
// A downloaded program held open from the check of its bytes to its start, so
// that what is started is exactly what was checked: on Linux it is started from
// the held descriptor (/proc/self/fd), on Windows nobody may write to or delete
// the file while it is held. Paths are UTF-8.
#include <memory>
#include <optional>
#include <string>

#include "platform/Crypto.hpp"

namespace lumivox::platform {

class HeldProgram {
  public:
    // Opens an existing regular file for reading; nothing when it cannot.
    static std::unique_ptr<HeldProgram> open(const std::string& path);
    ~HeldProgram();
    HeldProgram(const HeldProgram&) = delete;
    HeldProgram& operator=(const HeldProgram&) = delete;

    // SHA-256 of the held bytes, read from the start.
    std::optional<Sha256Digest> sha256();
    // Gives the held file the final name and lets it be run; false when a file
    // of that name exists (it is never replaced), when either step fails, or
    // when the name then names another file than the one held. A file system
    // that refuses an exclusive rename gets a link and an unlink instead; a
    // build renamed but not made runnable is removed, not left under the name.
    bool moveTo(const std::string& finalPath);
    // Starts the held program and waits up to `settleMs` for a program that
    // fails at once. False when it cannot be started, or ended within that time
    // with a failure (a non-zero exit code, a signal).
    bool start(int settleMs);
    // Waits for the started program to end.
    void waitForEnd();

    struct State;

  private:
    explicit HeldProgram(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace lumivox::platform
