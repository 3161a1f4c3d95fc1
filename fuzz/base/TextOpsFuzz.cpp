// The text operations that read settings files and paths, on arbitrary bytes:
// the first input byte chooses a separator length, the rest splits into the
// separator and the text. Checks the properties the loaders rely on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/TextOps.hpp"

using namespace lumivox;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t separatorLength = data[0] % 24;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    rest = rest.substr(0, rest.find('\0'));
    const std::string separator = rest.substr(0, separatorLength);
    const std::string text = rest.substr(separator.size());

    // Fields joined with the separator give the text back, less at most one
    // trailing separator.
    TextArray fields = splitText(text, separator);
    if (!separator.empty() && !text.empty()) {
        std::string joined;
        for (size_t i = 0; i < fields.size(); ++i) {
            joined += (i ? separator : "") + fields[i];
        }
        if (joined != text && joined + separator != text) {
            std::abort();
        }
    }

    Text trimmed = trimSpaces(text);
    if (text.find(trimmed) == std::string::npos) {
        std::abort();
    }
    int last = findLastText(text, separator);
    if (last != -1 && (last < 1 || text.compare(last - 1, separator.size(), separator) != 0) &&
        !separator.empty()) {
        std::abort();
    }
    if (rightPart(text, static_cast<int>(separatorLength)).size() > text.size()) {
        std::abort();
    }
    return 0;
}
