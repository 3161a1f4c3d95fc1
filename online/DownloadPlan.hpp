#pragma once
// The download engine's decisions that need no thread or socket: how a file is
// cut into segments, which segment a new connection takes, and the names tried
// when the target already exists.
#include <cstdint>
#include <optional>
#include <vector>

#include "base/Types.hpp"

namespace lumivox::online {

inline constexpr std::int64_t kReceiveBufferBytes = 20480;
inline constexpr std::int64_t kSmallestMultiFileBytes = 20480;
inline constexpr std::int64_t kSmallestSplitBytes = 2 * 20480;
inline constexpr std::size_t kLocalPathLimit = 260;

struct Segment {
    int state = 0;  // 0 idle, 1 taken by a thread
    bool split = false;
    int threadId = 0;
    std::int64_t start = 0;
    std::int64_t length = 0;
    std::int64_t done = 0;

    std::int64_t left() const { return length - done; }
};

// One segment below 20,480 bytes, otherwise `connectionCount` segments of
// total / count bytes at consecutive offsets; the last also gets the remainder.
std::vector<Segment> planSegments(std::int64_t totalLength, int connectionCount);

// The segment for one more connection: the first idle one with bytes left, or
// else half of the largest remainder (the first of equals), cut off as a new
// segment at the end of the table. Nothing when the largest remainder is below
// 2 x 20,480 bytes. The segment returned is still idle.
std::optional<std::size_t> chooseSegment(std::vector<Segment>& segments);

// The next name tried for a target that exists: a.exe -> a(1).exe -> a(2).exe,
// a -> a(1). Nothing when the number would reach 100 or the path would not fit
// in 260 bytes.
std::optional<Text> nextRenameCandidate(const Text& path);

// The last part of a URL path with its %xx sequences decoded (a decoded "/" or
// a NUL, decoded or not, becomes "_", so the name stays one name).
Text fileNameFromUrlPath(const Text& path);

}  // namespace lumivox::online
