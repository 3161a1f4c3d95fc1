// The download target on Linux: O_EXCL create, posix_fallocate of the whole
// length (a disk that cannot hold the file fails at creation, not midway), then
// positioned writes (pwrite) from the segment threads, which need no lock.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/TargetFile.hpp"

namespace lumivox::platform {

std::unique_ptr<TargetFile> TargetFile::createNew(const std::string& path, std::uint64_t length) {
    if (length == 0 || length > static_cast<std::uint64_t>(INT64_MAX / 2)) {
        return nullptr;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return nullptr;
    }
    if (::posix_fallocate(fd, 0, static_cast<off_t>(length)) != 0) {
        ::close(fd);
        ::unlink(path.c_str());  // ours: it was created just now
        return nullptr;
    }
    return std::unique_ptr<TargetFile>(new TargetFile(fd, length));
}

TargetFile::~TargetFile() {
    ::close(static_cast<int>(handle_));
}

bool TargetFile::writeAt(std::uint64_t offset, const void* bytes, std::size_t size) {
    if (offset > size_ || size > size_ - offset) {
        return false;
    }
    const char* from = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written =
            ::pwrite(static_cast<int>(handle_), from, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        from += written;
        offset += static_cast<std::uint64_t>(written);
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool canOpenForReading(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool isFile = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return isFile;
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace lumivox::platform
