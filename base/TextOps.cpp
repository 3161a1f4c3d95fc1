// Text operations over GBK bytes. A text ends at its first NUL byte; every
// operation that respects characters steps over a lead byte (0x80 or above) and
// its trail byte together and never begins a match on a trail byte.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/TextOps.hpp"

namespace lumivox {
namespace {

std::string_view untilNul(std::string_view text) {
    size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

bool isLeadByte(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}

// Length of the character starting at `pos`: 2 at a lead byte, else 1.
size_t characterLength(std::string_view text, size_t pos) {
    return isLeadByte(text[pos]) ? 2 : 1;
}

// A lead byte directly before the end ends every character scan.
bool isLoneLeadByteAtEnd(std::string_view text, size_t pos) {
    return isLeadByte(text[pos]) && pos + 1 == text.size();
}

}  // namespace

int textByteCount(std::string_view text) {
    return static_cast<int>(untilNul(text).size());
}

Text rightPart(std::string_view text, int n) {
    text = untilNul(text);
    if (n <= 0) {
        return {};
    }
    if (static_cast<size_t>(n) >= text.size()) {
        return Text(text);
    }
    return Text(text.substr(text.size() - n));
}

int findLastText(std::string_view text, std::string_view search) {
    text = untilNul(text);
    search = untilNul(search);
    if (search.empty()) {
        return text.empty() ? -1 : 1;
    }
    int found = -1;
    for (size_t pos = 0; pos < text.size() && text.size() - pos >= search.size();
         pos += characterLength(text, pos)) {
        if (isLoneLeadByteAtEnd(text, pos)) {
            break;
        }
        if (text.compare(pos, search.size(), search) == 0) {
            found = static_cast<int>(pos) + 1;
        }
    }
    return found;
}

TextArray splitText(std::string_view text, std::string_view separator) {
    text = untilNul(text);
    separator = untilNul(separator);
    TextArray fields;
    if (text.empty()) {
        return fields;
    }
    if (separator.empty()) {
        fields.emplace_back(text);
        return fields;
    }
    size_t fieldStart = 0;
    size_t pos = 0;
    while (pos < text.size() && text.size() - pos >= separator.size() &&
           !isLoneLeadByteAtEnd(text, pos)) {
        if (text.compare(pos, separator.size(), separator) == 0) {
            fields.emplace_back(text.substr(fieldStart, pos - fieldStart));
            pos += separator.size();
            fieldStart = pos;
        } else {
            pos += characterLength(text, pos);
        }
    }
    if (fieldStart < text.size()) {
        fields.emplace_back(text.substr(fieldStart));
    }
    return fields;
}

Text trimSpaces(std::string_view text) {
    text = untilNul(text);
    auto spaceLengthAt = [&](size_t pos) -> size_t {
        if (text[pos] == ' ') {
            return 1;
        }
        if (pos + 1 < text.size() && text[pos] == '\xA1' && text[pos + 1] == '\xA1') {
            return 2;
        }
        return 0;
    };
    size_t start = 0;
    while (start < text.size() && spaceLengthAt(start) > 0) {
        start += spaceLengthAt(start);
    }
    // The end of the last character that is not a space, found by scanning
    // forward so that a trail byte of A1 is never taken for half a space.
    size_t end = start;
    size_t pos = start;
    while (pos < text.size()) {
        if (isLoneLeadByteAtEnd(text, pos)) {
            end = pos;  // cut the lone lead byte; spaces before it stay
            break;
        }
        size_t space = spaceLengthAt(pos);
        size_t length = space > 0 ? space : characterLength(text, pos);
        pos += length;
        if (space == 0) {
            end = pos;
        }
    }
    return Text(text.substr(start, end - start));
}

Text valueToText(ByteView bytes) {
    const auto* begin = reinterpret_cast<const char*>(bytes.data());
    return Text(untilNul(std::string_view(begin, bytes.size())));
}

Text valueToText(std::int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", value);
    return buffer;
}

Text valueToText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.13g", value);
    return buffer;
}

ByteData textToBytes(std::string_view text) {
    text = untilNul(text);
    return ByteData(text.begin(), text.end());
}

bool textsEqual(std::string_view a, std::string_view b) {
    return untilNul(a) == untilNul(b);
}

Text joinTexts(std::initializer_list<std::string_view> parts) {
    Text joined;
    for (std::string_view part : parts) {
        joined += untilNul(part);
    }
    return joined;
}

double roundHalfAway(double x, int digits) {
    if (x == 0) {
        return 0;
    }
    const bool negative = x < 0;
    x = std::fabs(x);
    const double scale = std::pow(10.0, std::abs(digits));
    const double y = digits > 0 ? x * scale : digits < 0 ? x / scale : x;
    double whole = 0;
    const double fraction = std::modf(y + 0.000000000001, &whole);
    if (fraction >= 0.5) {
        whole += 1;
    }
    const double result = digits > 0 ? whole / scale : digits < 0 ? whole * scale : whole;
    return negative ? -result : result;
}

}  // namespace lumivox
