#pragma once
// The download target: a file created new with its whole length reserved on
// disk, written at positions from the segment threads' own bounded buffers (no
// view of the whole file, so memory stays the buffers' whatever the length).
// The file stays open as long as the object.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lumivox::platform {

class TargetFile {
  public:
    // Creates `path` (UTF-8) new (an existing file is never touched) and
    // reserves `length` bytes on disk, so that a full disk fails here rather
    // than in a later write. Nothing (and no file left behind) when any step
    // fails, a length of 0 included.
    static std::unique_ptr<TargetFile> createNew(const std::string& path, std::uint64_t length);

    ~TargetFile();
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // Writes all `size` bytes at `offset`; false when the system refused them
    // or the range reaches past the reserved length. Threads may write
    // concurrently to ranges that do not overlap.
    bool writeAt(std::uint64_t offset, const void* bytes, std::size_t size);
    std::uint64_t size() const { return size_; }

  private:
    TargetFile(std::intptr_t handle, std::uint64_t size) : handle_(handle), size_(size) {}
    std::intptr_t handle_;  // a descriptor on Linux, a HANDLE on Windows
    std::uint64_t size_;
};

// True when `path` (UTF-8) names an existing file that can be opened for reading.
bool canOpenForReading(const std::string& path);

// True when something (a file, a folder, anything) exists at `path` (UTF-8).
bool pathExists(const std::string& path);

}  // namespace lumivox::platform
