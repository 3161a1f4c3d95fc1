#include "platform/MpegDecoder.hpp"

#include <mpg123.h>

#include <mutex>

namespace lumivox {

MpegDecoder::MpegDecoder() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    handle_ = mpg123_new(nullptr, nullptr);
    if (handle_ == nullptr) {
        return;
    }
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Keep searching for a frame header through any amount of other bytes.
    mpg123_param(handle_, MPG123_RESYNC_LIMIT, -1, 0);
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i) {
        mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open_feed(handle_) != MPG123_OK) {
        mpg123_delete(handle_);
        handle_ = nullptr;
    }
}

MpegDecoder::~MpegDecoder() {
    if (handle_ != nullptr) {
        mpg123_delete(handle_);
    }
}

void MpegDecoder::feed(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) {
        mpg123_feed(handle_, bytes.data(), bytes.size());
    }
}

MpegDecoder::Step MpegDecoder::next(std::span<const std::uint8_t>& pcm) {
    off_t frame = 0;
    unsigned char* audio = nullptr;
    std::size_t bytes = 0;
    const int result = mpg123_decode_frame(handle_, &frame, &audio, &bytes);
    pcm = {audio, audio == nullptr ? 0 : bytes};
    switch (result) {
        case MPG123_OK: return Step::pcm;
        case MPG123_NEW_FORMAT: {
            int encoding = 0;
            mpg123_getformat(handle_, &rate_, &channels_, &encoding);
            return Step::newFormat;
        }
        case MPG123_NEED_MORE: return Step::needMore;
        default: return Step::failed;
    }
}

}  // namespace lumivox
