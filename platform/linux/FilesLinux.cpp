#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/Files.hpp"

namespace lumivox::platform {
namespace {

// `*` matches any run of characters, `?` any one; everything else literally
// (so `[` is no character class, as with the Windows wildcards).
bool wildcardMatch(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool writeAll(int fd, const std::uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// The process's file-creation mask, read without changing it (umask() would,
// for a moment, for every thread).
mode_t currentUmask() {
    int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 022;
    }
    char buffer[4096];
    ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    buffer[got > 0 ? got : 0] = '\0';
    const char* field = std::strstr(buffer, "\nUmask:");
    return field != nullptr ? static_cast<mode_t>(std::strtoul(field + 7, nullptr, 8)) : 022;
}

}  // namespace

bool pathMatchesAnything(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last.find_first_of("*?") == std::string::npos) {
        struct stat info;
        return ::stat(path.c_str(), &info) == 0;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (dirent* entry = ::readdir(dir)) {
        std::string_view name(entry->d_name);
        if (name != "." && name != ".." && wildcardMatch(last, name)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool createDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0;
}

bool createPrivateFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

ByteData readFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    ByteData data;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        data.resize(static_cast<size_t>(info.st_size));
        size_t got = 0;
        while (got < data.size()) {
            ssize_t n = ::read(fd, data.data() + got, data.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        data.resize(got);  // fewer bytes than the length: what arrived
    }
    ::close(fd);
    return data;
}

std::FILE* openFileForReading(const std::string& path) {
    return std::fopen(path.c_str(), "rb");
}

bool replaceFile(const std::string& path,
                 std::initializer_list<std::span<const std::uint8_t>> blocks) {
    // Write beside the real file (a link is followed, so the link stays a link).
    std::string target = path;
    char resolved[PATH_MAX];
    struct stat linkInfo;
    if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode) &&
        ::realpath(path.c_str(), resolved) != nullptr) {
        target = resolved;
    }
    struct stat targetInfo;
    const bool exists = ::stat(target.c_str(), &targetInfo) == 0;
    if (exists && !S_ISREG(targetInfo.st_mode)) {
        return false;  // a folder or device is never replaced
    }
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        return false;  // a file we may not write is not replaced either
    }
    std::string temporary = target + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    // The replacement keeps the target's mode and, where we may, its owner; a
    // new file gets what the umask leaves, as an ordinary creation would.
    if (exists && (targetInfo.st_uid != ::geteuid() || targetInfo.st_gid != ::getegid())) {
        (void)!::fchown(fd, targetInfo.st_uid, targetInfo.st_gid);
    }
    bool ok = ::fchmod(fd, exists ? (targetInfo.st_mode & 07777) : (0666 & ~currentUmask())) == 0;
    for (const auto& block : blocks) {
        ok = ok && (block.empty() || writeAll(fd, block.data(), block.size()));
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

const char* pathSeparator() {
    return "/";
}

std::string currentDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::unique_ptr<HeldFile> HeldFile::hold(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return nullptr;
    }
    // Shared: only a remover asks for the lock alone.
    while (::flock(fd, LOCK_SH) != 0 && errno == EINTR) {
    }
    return std::unique_ptr<HeldFile>(new HeldFile(fd));
}

HeldFile::~HeldFile() {
    ::close(static_cast<int>(handle_));
}

bool removeFileUnlessHeld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    // Unlinked while the lock is ours: a copy that holds it took it first.
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool removed = free && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

std::optional<std::uint64_t> freeBytesAt(const std::string& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace lumivox::platform
