// The response header reader and parser over arbitrary received bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "online/HttpText.hpp"

using namespace lumivox::online;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view received(reinterpret_cast<const char*>(data), size);
    // Bytes arrive in reads of any size: a header complete in the first reads
    // stays the same header however much follows.
    HeaderScan whole = scanHeader(received);
    for (std::size_t cut = 0; cut < size && cut < 256; ++cut) {
        HeaderScan part = scanHeader(received.substr(0, cut));
        if (part.complete && (!whole.complete || part.statusStart != whole.statusStart ||
                              part.bodyStart != whole.bodyStart)) {
            std::abort();
        }
    }
    if (!whole.complete)
        return 0;
    if (whole.bodyStart > size || whole.statusStart >= whole.bodyStart)
        std::abort();
    std::string_view header =
        received.substr(whole.statusStart, whole.bodyStart - whole.statusStart);
    HttpResponse response = parseResponse(header);
    if (response.contentDisposition)
        (void)dispositionFileName(*response.contentDisposition);
    if (response.status != 200 && response.status != 206 && response.status != 301 &&
        response.status != 302 && (response.contentLength != -1 || response.server)) {
        std::abort();  // other statuses carry nothing
    }
    return 0;
}
