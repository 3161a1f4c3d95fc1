#include "sound/SongFileReader.hpp"

#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "base/Encoding.hpp"
#include "platform/Files.hpp"

namespace lumivox {

SongStreamBounds songStreamBounds(std::span<const std::uint8_t> head,
                                  std::span<const std::uint8_t> tail, std::uint64_t fileLength) {
    SongStreamBounds bounds;
    bounds.length = fileLength;
    if (fileLength >= 128 && tail.size() == 128 && std::memcmp(tail.data(), "TAG", 3) == 0) {
        bounds.length = fileLength - 128;
    }
    // ID3v2 header: "ID3", major version, revision, flags, then the tag size in
    // four bytes of seven bits each, most significant first.
    if (head.size() >= 10 && std::memcmp(head.data(), "ID3", 3) == 0 && head[3] == 3) {
        std::uint64_t size = 0;
        for (int i = 6; i < 10; ++i) {
            size = (size << 7) | (head[i] & 0x7F);
        }
        bounds.start = 10 + size;
    }
    return bounds;
}

std::unique_ptr<SongFileReader> SongFileReader::open(const Text& path) {
    std::FILE* file = platform::openFileForReading(gbkToUtf8(path));
    if (file == nullptr) {
        return nullptr;
    }
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    std::unique_ptr<SongFileReader> reader(new SongFileReader(file));
    const auto length = static_cast<std::uint64_t>(status.st_size);
    std::uint8_t head[10] = {};
    const std::size_t headBytes = std::fread(head, 1, sizeof head, file);
    std::vector<std::uint8_t> tail;
    if (length >= 128 && fseeko(file, static_cast<off_t>(length - 128), SEEK_SET) == 0) {
        tail.resize(128);
        tail.resize(std::fread(tail.data(), 1, tail.size(), file));
    }
    reader->bounds_ = songStreamBounds({head, headBytes}, tail, length);
    // A tag said to reach past the end leaves nothing to read.
    const std::uint64_t start = reader->bounds_.start < length ? reader->bounds_.start : length;
    fseeko(file, static_cast<off_t>(start), SEEK_SET);
    return reader;
}

SongFileReader::~SongFileReader() { std::fclose(file_); }

std::size_t SongFileReader::read(std::uint8_t* block) {
    return std::fread(block, 1, kBlockBytes, file_);
}

}  // namespace lumivox
