// The song pipeline's MPEG-audio decoder on Windows: the system's ACM MP3
// decoder (MPEG 1, 2 and 2.5 layer III), fed one frame at a time. Frames are
// found here (sync word, then the next header where one follows), so that
// other bytes (tags, junk) between frames are stepped over as on Linux. Layers
// I and II and free-format streams have no system decoder and are skipped.
#include <windows.h>
// After windows.h, whose types they use.
#include <mmsystem.h>
// After mmsystem.h, whose types they use.
#include <mmreg.h>
#include <msacm.h>

#include <vector>

#include "platform/MpegDecoder.hpp"

// The decoder's state behind the header's opaque handle.
struct mpg123_handle_struct {
    std::vector<std::uint8_t> input;  // bytes fed and not yet decoded
    std::size_t at = 0;               // where undecoded input starts
    HACMSTREAM stream = nullptr;
    long rate = 0;
    int channels = 0;
    std::vector<std::uint8_t> frame;  // the frame handed to ACM
    std::vector<std::uint8_t> pcm;    // its samples
};

namespace lumivox {
namespace {

struct FrameHeader {
    long rate = 0;
    int channels = 0;
    std::size_t length = 0;  // bytes of the whole frame
};

// A layer III frame header at `p` (four bytes), or nothing.
bool parseHeader(const std::uint8_t* p, FrameHeader& header) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
        return false;
    }
    const int version = (p[1] >> 3) & 3;  // 0: 2.5, 2: 2, 3: 1
    const int layer = (p[1] >> 1) & 3;    // 1: III
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
        return false;
    }
    static constexpr int kBitrates[2][15] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},  // MPEG 1
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},      // MPEG 2, 2.5
    };
    static constexpr long kRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    header.rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    header.channels = (p[3] >> 6) == 3 ? 1 : 2;
    const long bitrate = kBitrates[mpeg1 ? 0 : 1][bitrateIndex] * 1000L;
    header.length =
        static_cast<std::size_t>((mpeg1 ? 144 : 72) * bitrate / header.rate + ((p[2] >> 1) & 1));
    return true;
}

bool openStream(mpg123_handle_struct& state, const FrameHeader& header) {
    if (state.stream != nullptr) {
        acmStreamClose(state.stream, 0);
        state.stream = nullptr;
    }
    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = static_cast<WORD>(header.channels);
    mp3.wfx.nSamplesPerSec = static_cast<DWORD>(header.rate);
    mp3.wfx.nAvgBytesPerSec = 128000 / 8;
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    mp3.nBlockSize = static_cast<WORD>(header.length);
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = 0;
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = static_cast<WORD>(header.channels);
    pcm.nSamplesPerSec = static_cast<DWORD>(header.rate);
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(2 * header.channels);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    if (acmStreamOpen(&state.stream, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, 0) != 0) {
        state.stream = nullptr;
        return false;
    }
    state.rate = header.rate;
    state.channels = header.channels;
    return true;
}

// Decodes one frame into state.pcm; false when the system decoder fails.
bool decodeFrame(mpg123_handle_struct& state, const std::uint8_t* bytes, std::size_t length) {
    state.frame.assign(bytes, bytes + length);
    DWORD outputBytes = 0;
    if (acmStreamSize(state.stream, static_cast<DWORD>(length), &outputBytes,
                      ACM_STREAMSIZEF_SOURCE) != 0) {
        return false;
    }
    // A frame holds at most 1152 samples a channel; room for the decoder's leftovers too.
    state.pcm.resize(std::max<std::size_t>(outputBytes, 1152 * 2 * 2) * 2);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = state.frame.data();
    header.cbSrcLength = static_cast<DWORD>(length);
    header.pbDst = state.pcm.data();
    header.cbDstLength = static_cast<DWORD>(state.pcm.size());
    if (acmStreamPrepareHeader(state.stream, &header, 0) != 0) {
        return false;
    }
    const bool ok = acmStreamConvert(state.stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN) == 0;
    acmStreamUnprepareHeader(state.stream, &header, 0);
    state.pcm.resize(ok ? header.cbDstLengthUsed : 0);
    return ok;
}

}  // namespace

MpegDecoder::MpegDecoder() : handle_(new mpg123_handle_struct) {}

MpegDecoder::~MpegDecoder() {
    if (handle_->stream != nullptr) {
        acmStreamClose(handle_->stream, 0);
    }
    delete handle_;
}

void MpegDecoder::feed(std::span<const std::uint8_t> bytes) {
    auto& input = handle_->input;
    input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(handle_->at));
    handle_->at = 0;
    input.insert(input.end(), bytes.begin(), bytes.end());
}

MpegDecoder::Step MpegDecoder::next(std::span<const std::uint8_t>& pcm) {
    pcm = {};
    auto& state = *handle_;
    const auto& input = state.input;
    while (state.at + 4 <= input.size()) {
        FrameHeader header;
        if (!parseHeader(&input[state.at], header)) {
            ++state.at;  // not a frame here: keep searching
            continue;
        }
        const std::size_t end = state.at + header.length;
        if (end > input.size()) {
            return Step::needMore;
        }
        // A frame is believed where another follows it, or where the data ends.
        FrameHeader following;
        if (end + 4 <= input.size() && !parseHeader(&input[end], following)) {
            ++state.at;
            continue;
        }
        if (state.stream == nullptr || header.rate != state.rate ||
            header.channels != state.channels) {
            if (!openStream(state, header)) {
                return Step::failed;  // the system has no MP3 decoder
            }
            rate_ = state.rate;
            channels_ = state.channels;
            return Step::newFormat;  // the frame is decoded by the next call
        }
        const std::size_t start = state.at;
        state.at = end;
        if (!decodeFrame(state, &input[start], header.length)) {
            return Step::failed;
        }
        if (!state.pcm.empty()) {
            pcm = state.pcm;
            return Step::pcm;
        }
    }
    return Step::needMore;
}

}  // namespace lumivox
