// The redirect rule over arbitrary Location and Set-Cookie values, chained as
// a server could chain them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "online/HttpText.hpp"

using namespace lumivox::online;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    RequestTarget request{"example.com:8080", 8080, "/dir/a.exe", "http://example.com:8080/dir",
                          ""};
    // Lines of the input are Location values, each with the cookie of the next line.
    std::size_t at = 0;
    for (int hop = 0; hop < 8 && at <= input.size(); ++hop) {
        std::size_t end = input.find('\n', at);
        std::string_view line =
            input.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        HttpResponse response;
        response.status = 302;
        response.location = std::string(line);
        if (hop % 2 == 1)
            response.setCookie = std::string(line);
        if (!applyRedirect(request, response))
            break;
        if (!request.extraHeader.empty() &&
            (request.extraHeader.rfind("Cookie: ", 0) != 0 || request.extraHeader.size() < 10)) {
            std::abort();
        }
        (void)buildRequest(escapeTarget(request.target), request.host, request.referer,
                           request.extraHeader);
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    return 0;
}
