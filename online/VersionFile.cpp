#include "online/VersionFile.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace lumivox::online {
namespace {

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '.' || c == '-' || c == '_';
}

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// Windows opens a device, not a file, for these names, whatever follows a dot.
bool isReservedDeviceName(std::string_view name) {
    static constexpr std::array<std::string_view, 22> kDevices = {
        "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
        "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
    const std::string stem = lowerAscii(name.substr(0, name.find('.')));
    return std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end();
}

}  // namespace

TextArray versionFields(std::string_view text) {
    return splitText(text, kVersionSeparator);
}

bool isSafeBaseName(std::string_view name) {
    if (name.empty() || name.size() > kMaxBaseNameLength || name.front() == '.' ||
        name.back() == '.') {
        return false;  // a trailing dot is dropped by Windows: another name on disk
    }
    return std::all_of(name.begin(), name.end(), isNameCharacter) && !isReservedDeviceName(name);
}

std::optional<std::vector<std::uint32_t>> versionNumbers(std::string_view version) {
    std::vector<std::uint32_t> numbers;
    std::size_t at = 0;
    while (true) {
        const std::size_t dot = std::min(version.find('.', at), version.size());
        const std::string_view part = version.substr(at, dot - at);
        if (part.empty() || part.size() > 9 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (char c : part) {
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        numbers.push_back(value);
        if (dot == version.size()) {
            return numbers;
        }
        at = dot + 1;
    }
}

bool isNewerVersion(std::string_view candidate, std::string_view current) {
    auto a = versionNumbers(candidate);
    auto b = versionNumbers(current);
    if (!a || !b) {
        return false;
    }
    // Missing parts count as 0: "1.1" is "1.1.0".
    const std::size_t length = std::max(a->size(), b->size());
    a->resize(length, 0);
    b->resize(length, 0);
    return *a > *b;
}

}  // namespace lumivox::online
