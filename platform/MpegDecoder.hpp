#pragma once
// The song pipeline's MPEG-audio decoder, fed in pieces: MPEG 1, 2 and 2.5,
// layers I to III, free format, to 16-bit PCM at the stream's own rate and
// channel count. libmpg123 on Linux, the system's ACM codec on Windows; each
// defines the handle's struct for itself.
#include <cstdint>
#include <span>

struct mpg123_handle_struct;

namespace lumivox {

class MpegDecoder {
public:
    MpegDecoder();
    ~MpegDecoder();
    MpegDecoder(const MpegDecoder&) = delete;
    MpegDecoder& operator=(const MpegDecoder&) = delete;

    bool ok() const { return handle_ != nullptr; }
    void feed(std::span<const std::uint8_t> bytes);

    enum class Step { pcm, newFormat, needMore, failed };
    // The next decoded frame's samples in `pcm` (valid until the next call).
    Step next(std::span<const std::uint8_t>& pcm);

    long rate() const { return rate_; }
    int channels() const { return channels_; }

private:
    mpg123_handle_struct* handle_ = nullptr;
    long rate_ = 0;
    int channels_ = 0;
};

}  // namespace lumivox
