#include "remote/RequestFraming.hpp"

#include <charconv>

namespace lumivox {
namespace {

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

Framing refused(int status) {
    return {Framing::Kind::Refused, 0, status};
}

}  // namespace

Framing frameRequest(std::string_view received) {
    const std::size_t blank = received.find("\r\n\r\n");
    if (blank == std::string_view::npos) {
        return received.size() >= kMaxHeadBytes ? refused(431) : Framing{};
    }
    const std::size_t headLength = blank + 4;
    if (headLength > kMaxHeadBytes) {
        return refused(431);
    }
    // The header lines after the request line; a folded or nameless line is the
    // library's to refuse, only the two framing headers count here.
    std::string_view lines = received.substr(0, blank + 2);
    lines.remove_prefix(lines.find("\r\n") + 2);
    bool haveLength = false;
    std::size_t bodyLength = 0;
    while (!lines.empty()) {
        const std::size_t end = lines.find("\r\n");
        const std::string_view line = lines.substr(0, end);
        lines.remove_prefix(end + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (sameName(name, "transfer-encoding")) {
            return refused(400);
        }
        if (sameName(name, "content-length")) {
            std::size_t length = 0;
            const auto [stop, error] =
                std::from_chars(value.data(), value.data() + value.size(), length);
            if (error == std::errc::result_out_of_range) {
                return refused(413);
            }
            if (value.empty() || error != std::errc() || stop != value.data() + value.size()) {
                return refused(400);
            }
            if (haveLength && length != bodyLength) {
                return refused(400);
            }
            haveLength = true;
            bodyLength = length;
        }
    }
    if (bodyLength > kMaxBodyBytes) {
        return refused(413);
    }
    if (received.size() < headLength + bodyLength) {
        return {};
    }
    return {Framing::Kind::Complete, headLength + bodyLength, 0};
}

}  // namespace lumivox
