// The local name a download takes from its URL path, and the names tried when
// that file exists: the name stays one name inside the folder asked for, and a
// new name differs from the old one and fits the path limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "online/DownloadPlan.hpp"

using namespace lumivox::online;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const std::string name = fileNameFromUrlPath(path);
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        std::abort();
    const std::string folder = "/home/host/下载/";
    std::string candidate = folder + name;
    // A few steps of the rename chain (the unit tests follow one to its end).
    for (int tried = 0; tried < 3; ++tried) {
        const auto next = nextRenameCandidate(candidate);
        if (!next)
            return 0;
        if (*next == candidate || next->size() >= kLocalPathLimit ||
            next->compare(0, folder.size(), folder) != 0 ||
            next->find('/', folder.size()) != std::string::npos) {
            std::abort();
        }
        candidate = *next;
    }
    return 0;
}
