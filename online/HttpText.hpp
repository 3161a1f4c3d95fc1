#pragma once
// The text side of the download engine's HTTP exchange: URLs, request bytes,
// response headers, the redirect rule and the texts of error codes. Pure
// functions over bytes, so the fuzz targets and tables reach every branch.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Types.hpp"

namespace lumivox::online {

enum class Scheme { Unsupported = 0, Http = 1, Ftp = 2, Mms = 3, Rtsp = 4 };

struct UrlParts {
    Scheme scheme = Scheme::Unsupported;
    int port = 0;
    bool hasHost = false;  // false when no "/" follows the host
    Text host;             // as written, with ":port" when the URL has one
    Text path;             // from the first "/" after the host, query included
};

// Recognises the scheme by its first letter and the sum of the character codes
// of the rest of the prefix ("http://" is "h" then six codes summing to 496).
UrlParts parseUrl(std::string_view url);

// Four dot-separated parts of one to three digits, each 0 to 255.
bool isDottedIpv4(std::string_view host);

// The host text without ":port".
Text hostName(std::string_view host);

// The request target with every space as "%20", cut at 1023 bytes.
Text escapeTarget(std::string_view target);

// The URL up to (not including) its last "/".
Text upToLastSlash(std::string_view url);

inline constexpr std::size_t kRequestArea = 1024;
inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";

// The GET request, or nothing when it does not fit the 1024-byte area (with
// its terminating NUL). `extraHeader` is a whole line ending in CR LF, or empty.
std::optional<std::string> buildRequest(std::string_view target, std::string_view host,
                                        std::string_view referer, std::string_view extraHeader);

inline constexpr std::size_t kHeaderArea = 4096;

// Where a response header stands in the bytes received so far: complete once
// an empty line follows a status line starting "HTTP/1.1" or "HTTP/1.0" (the
// earlier of the two).
struct HeaderScan {
    bool complete = false;
    std::size_t statusStart = 0;  // first byte of the status line
    std::size_t bodyStart = 0;    // first byte after the empty line
};
HeaderScan scanHeader(std::string_view received);

struct HttpResponse {
    int status = 0;
    std::int64_t contentLength = -1;
    std::int64_t contentRange = -1;       // a 206 answer's first byte
    std::int64_t contentRangeTotal = -1;  // ...and the length after "/" (-1: "*" or none)
    std::optional<Text> setCookie, contentType, location, server, connection, acceptRanges,
        lastModified, via, contentDisposition;
};

// Parses a header from its status line through the empty line.
HttpResponse parseResponse(std::string_view header);

// The file name a Content-Disposition value gives after "filename=", or empty.
Text dispositionFileName(std::string_view disposition);

// What a request may change while it follows redirects.
struct RequestTarget {
    Text host;
    int port = 80;
    Text target;
    Text referer;
    Text extraHeader;  // "Cookie: ...\r\n" after a redirect that set one
};

// Applies a 301/302 answer: the cookie, then the Location (absolute "http://",
// a path from the root, or a name relative to the current folder). False for
// a cookie that is too long or a Location of another scheme.
bool applyRedirect(RequestTarget& request, const HttpResponse& response);

// The engine's text (GBK) for an error code: its own codes, then the socket
// error texts, else "未知错误".
Text errorTextOf(int code);

}  // namespace lumivox::online
