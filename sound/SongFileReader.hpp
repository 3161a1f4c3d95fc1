#pragma once
// The first stage of the song pipeline: a song file as a stream of 8,192-byte
// blocks for the MPEG-audio decoder, with a leading ID3v2.3 tag skipped and a
// final 128-byte "TAG" block left out of the stream length.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "base/Types.hpp"

namespace lumivox {

struct SongStreamBounds {
    std::uint64_t start = 0;   // bytes of a skipped ID3v2.3 tag
    std::uint64_t length = 0;  // file length less a final "TAG" block
};

// From the file's first 10 bytes (or fewer), its last 128 bytes (or fewer) and
// its length.
SongStreamBounds songStreamBounds(std::span<const std::uint8_t> head,
                                  std::span<const std::uint8_t> tail, std::uint64_t fileLength);

class SongFileReader {
public:
    static constexpr std::size_t kBlockBytes = 8192;

    // Nothing when the file cannot be opened for reading.
    static std::unique_ptr<SongFileReader> open(const Text& path);
    ~SongFileReader();

    const SongStreamBounds& bounds() const { return bounds_; }
    // The next block; shorter than 8,192 bytes at the end of the file.
    std::size_t read(std::uint8_t* block);

private:
    explicit SongFileReader(std::FILE* file) : file_(file) {}
    std::FILE* file_;
    SongStreamBounds bounds_;
};

}  // namespace lumivox
