// The download target on Linux: O_EXCL create, posix_fallocate of the whole
// length (a sparse mapping would turn a full disk into SIGBUS on a later write),
// then one shared writable mapping.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/MappedFile.hpp"

namespace lumivox::platform {

std::unique_ptr<MappedFile> MappedFile::createNew(const std::string& path, std::uint64_t length) {
    if (length == 0 || length > static_cast<std::uint64_t>(SIZE_MAX / 2)) {
        return nullptr;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return nullptr;
    }
    void* view = MAP_FAILED;
    if (::posix_fallocate(fd, 0, static_cast<off_t>(length)) == 0) {
        view = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    ::close(fd);
    if (view == MAP_FAILED) {
        ::unlink(path.c_str());  // ours: it was created just now
        return nullptr;
    }
    return std::unique_ptr<MappedFile>(new MappedFile(static_cast<std::uint8_t*>(view), length));
}

MappedFile::~MappedFile() {
    ::munmap(data_, size_);
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
