#pragma once
// For the implementations of waitSocket: the readiness mask from what poll
// (Linux) or WSAPoll (Windows) reported. Both report a hang-up and failures
// with bits of the same names; each names its own readable and writable bits,
// so the caller hands its bits over.
#include "platform/Sockets.hpp"

namespace lumivox::platform {

struct PollBits {
    short readable;  // a hang-up counts as readable: the read then sees the end
    short writable;
    short hangUp;
    short failed;
};

inline int readinessMask(short revents, const PollBits& bits) {
    int mask = 0;
    if (revents & (bits.readable | bits.hangUp))
        mask |= kReadable;
    if (revents & bits.writable)
        mask |= kWritable;
    if (revents & bits.failed)
        mask |= kFailed;
    return mask;
}

}  // namespace lumivox::platform
