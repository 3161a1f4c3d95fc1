#pragma once
// The download target: a file created new with its whole length reserved on
// disk, mapped for writing as one view. The file descriptor is closed once the
// view exists; the view lives as long as the object.
#include <cstdint>
#include <memory>
#include <string>

namespace lumivox::platform {

class MappedFile {
  public:
    // Creates `path` (UTF-8) new (an existing file is never touched), reserves
    // `length` bytes on disk and maps them. Nothing (and no file left behind)
    // when any step fails, a length of 0 included.
    static std::unique_ptr<MappedFile> createNew(const std::string& path, std::uint64_t length);

    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::uint8_t* data() const { return data_; }
    std::uint64_t size() const { return size_; }

  private:
    MappedFile(std::uint8_t* data, std::uint64_t size) : data_(data), size_(size) {}
    std::uint8_t* data_;
    std::uint64_t size_;
};

// True when `path` (UTF-8) names an existing file that can be opened for reading.
bool canOpenForReading(const std::string& path);

// True when something (a file, a folder, anything) exists at `path` (UTF-8).
bool pathExists(const std::string& path);

}  // namespace lumivox::platform
