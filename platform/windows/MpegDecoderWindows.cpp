// The song pipeline's MPEG-audio decoder on Windows. libmpg123 has no Windows
// build here and the system's ACM decoder is not wired in yet: every decoder
// reports that it could not be made, and the song pipeline reports the song as
// unplayable instead of playing noise.
#include "sound/MpegDecoder.hpp"

namespace lumivox {

MpegDecoder::MpegDecoder() = default;
MpegDecoder::~MpegDecoder() = default;

void MpegDecoder::feed(std::span<const std::uint8_t>) {}

MpegDecoder::Step MpegDecoder::next(std::span<const std::uint8_t>& pcm) {
    pcm = {};
    return Step::failed;
}

}  // namespace lumivox
