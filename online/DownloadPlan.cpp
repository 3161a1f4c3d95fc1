#include "online/DownloadPlan.hpp"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace lumivox::online {

std::vector<Segment> planSegments(std::int64_t totalLength, int connectionCount) {
    int count = totalLength < kSmallestMultiFileBytes ? 1 : std::max(connectionCount, 1);
    std::vector<Segment> segments(static_cast<std::size_t>(count));
    std::int64_t each = totalLength / count;
    for (int i = 0; i < count; ++i) {
        segments[i].start = each * i;
        segments[i].length = each;
    }
    segments.back().length += totalLength - each * count;
    return segments;
}

std::optional<std::size_t> chooseSegment(std::vector<Segment>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (segments[i].state == 0 && segments[i].left() > 0) {
            return i;
        }
    }
    std::optional<std::size_t> largest;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (!largest || segments[i].left() > segments[*largest].left()) {
            largest = i;
        }
    }
    if (!largest || segments[*largest].left() < kSmallestSplitBytes) {
        return std::nullopt;
    }
    Segment& old = segments[*largest];
    std::int64_t remaining = old.left();
    std::int64_t cut = remaining / 2;
    Segment added;
    added.length = cut;
    added.start = old.start + old.done + (remaining - cut);
    old.length -= cut;
    old.split = true;
    segments.push_back(added);
    return segments.size() - 1;
}

std::optional<Text> nextRenameCandidate(const Text& path) {
    std::size_t slash = path.rfind('/');
    Text folder = slash == Text::npos ? Text() : path.substr(0, slash + 1);
    Text name = slash == Text::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.find('.');
    Text stem = name.substr(0, dot);
    Text extension = dot == Text::npos ? Text() : name.substr(dot);
    int number = 1;
    std::size_t open = stem.rfind('(');
    if (!stem.empty() && stem.back() == ')' && open != Text::npos) {
        std::size_t inside = stem.size() - open - 2;
        if (inside == 1 || inside == 2) {
            number = std::atoi(stem.substr(open + 1, inside).c_str()) + 1;
            if (number >= 100) {
                return std::nullopt;
            }
            stem.resize(open);
        }
    }
    Text candidate = folder + stem + "(" + std::to_string(number) + ")" + extension;
    if (candidate.size() >= kLocalPathLimit) {
        return std::nullopt;
    }
    return candidate;
}

Text fileNameFromUrlPath(const Text& path) {
    Text name = path.substr(path.rfind('/') + 1);  // npos + 1 is 0: the whole path
    Text decoded;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() && hex(name[i + 1]) >= 0 &&
            hex(name[i + 2]) >= 0) {
            char c = static_cast<char>(hex(name[i + 1]) * 16 + hex(name[i + 2]));
            // A decoded "/" (or NUL) would put the file outside the folder asked for.
            decoded += (c == '/' || c == '\0') ? '_' : c;
            i += 2;
        } else {
            // A NUL byte of the path itself would end the name at the file system.
            decoded += name[i] == '\0' ? '_' : name[i];
        }
    }
    return decoded;
}

}  // namespace lumivox::online
