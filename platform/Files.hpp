#pragma once
// Files and folders of the operating system. Paths are UTF-8.
#include <cstdio>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "base/Types.hpp"

namespace lumivox::platform {

// True when the path names anything; `*` and `?` in its last component match
// any run of characters and any one character.
bool pathMatchesAnything(const std::string& path);
bool createDirectory(const std::string& path);
// Makes every missing folder of an absolute path, each readable by its owner
// alone (0700, as a per-user configuration folder should be). True when the
// path is a folder afterwards.
bool createPrivateFolders(const std::string& path);
// The file's bytes, or empty data when it cannot be opened or read.
ByteData readFile(const std::string& path);
// The file opened for binary reading with the C library (so that its size can
// be learned with fstat), or nullptr when it cannot be opened.
std::FILE* openFileForReading(const std::string& path);
// Writes the blocks to a new file beside the target and renames it over the
// target; the target is untouched when anything fails. The new file keeps the
// target's mode (a new target gets what the umask leaves of 0666); a target the
// caller may not write is refused.
bool replaceFile(const std::string& path,
                 std::initializer_list<std::span<const std::uint8_t>> blocks);
// Removes a file; false when it cannot (or there is none).
bool removeFile(const std::string& path);

// A file this copy of the program is working on (a download), held so that
// another copy leaves it alone: `removeFileUnlessHeld` then refuses it. Let go
// on destruction. On Linux an advisory lock; on Windows a handle that lets
// others read and write but not delete.
class HeldFile {
  public:
    // Nothing when the file cannot be opened.
    static std::unique_ptr<HeldFile> hold(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

  private:
    explicit HeldFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};
// Removes the file unless a HeldFile (of any copy of the program) holds it;
// false when it is held or cannot be removed (or there is none).
bool removeFileUnlessHeld(const std::string& path);
// The bytes this user may still write on the file system that holds `folder`,
// or nothing when that cannot be learned.
std::optional<std::uint64_t> freeBytesAt(const std::string& folder);
// The current folder, or the empty string.
std::string currentDirectory();
// What the system's own paths (an open-file dialog's answer) separate folders
// with: "/" on Linux, "\\" on Windows (which takes "/" too).
const char* pathSeparator();

}  // namespace lumivox::platform
