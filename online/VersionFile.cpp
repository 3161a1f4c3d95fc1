#include "online/VersionFile.hpp"

namespace lumivox::online {

TextArray versionFields(std::string_view text) {
    return splitText(text, kVersionSeparator);
}

bool isSafeBaseName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace lumivox::online
