// URL parsing and the request built from its parts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "online/HttpText.hpp"

using namespace lumivox::online;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view url(reinterpret_cast<const char*>(data), size);
    UrlParts parts = parseUrl(url);
    if (parts.scheme == Scheme::Unsupported && parts.hasHost)
        std::abort();
    if (!parts.hasHost)
        return 0;
    if (parts.path.empty() || parts.path[0] != '/' || parts.host.find('/') != std::string::npos) {
        std::abort();
    }
    (void)isDottedIpv4(parts.host);
    lumivox::Text target = escapeTarget(parts.path);
    if (target.size() > kRequestArea - 1 || target.find(' ') != std::string::npos)
        std::abort();
    auto request = buildRequest(target, parts.host, upToLastSlash(url), "");
    if (request && request->size() >= kRequestArea)
        std::abort();
    return 0;
}
