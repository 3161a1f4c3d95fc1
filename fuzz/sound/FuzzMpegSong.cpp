// A song file on any bytes, as the song pipeline plays it: the ID3v2 / TAG
// bounds, then the file from the end of the ID3v2 tag (nothing when the tag
// claims more than the file) fed to the MPEG-audio decoder in blocks until it
// asks for more with nothing left. Every frame it gives must be whole 16-bit
// samples of a format it announced.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/MpegDecoder.hpp"
#include "sound/SongFileReader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const auto bounds =
        lumivox::songStreamBounds(file.first(std::min<std::size_t>(10, size)),
                                  size >= 128 ? file.last(128) : file.first(0), size);
    if (bounds.length > size) {
        __builtin_trap();
    }
    auto stream = file.subspan(std::min<std::uint64_t>(bounds.start, size));
    lumivox::MpegDecoder decoder;
    if (!decoder.ok()) {
        __builtin_trap();
    }
    // Small blocks, so that frames cross the edges of what was fed.
    constexpr std::size_t kBlock = 1000;
    bool announced = false;
    for (int steps = 0; steps < 100000; ++steps) {
        std::span<const std::uint8_t> pcm;
        const auto step = decoder.next(pcm);
        if (step == lumivox::MpegDecoder::Step::needMore) {
            if (stream.empty()) {
                break;
            }
            const std::size_t n = std::min(kBlock, stream.size());
            decoder.feed(stream.first(n));
            stream = stream.subspan(n);
        } else if (step == lumivox::MpegDecoder::Step::newFormat) {
            if (decoder.rate() <= 0 || (decoder.channels() != 1 && decoder.channels() != 2)) {
                __builtin_trap();
            }
            announced = true;
        } else if (step == lumivox::MpegDecoder::Step::pcm) {
            if (!pcm.empty() && (!announced || pcm.size() % (2 * decoder.channels()) != 0)) {
                __builtin_trap();
            }
        } else {
            break;
        }
    }
    return 0;
}
