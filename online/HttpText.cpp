#include "online/HttpText.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "base/Encoding.hpp"

namespace lumivox::online {
namespace {

// Sum of the codes of `count` bytes after the first one, or -1 when too short.
int prefixSum(std::string_view lower, std::size_t count) {
    if (lower.size() < count + 1) {
        return -1;
    }
    int sum = 0;
    for (std::size_t i = 1; i <= count; ++i) {
        sum += static_cast<unsigned char>(lower[i]);
    }
    return sum;
}

// The leading decimal number of a text, as atoi would read it (0 for none).
std::int64_t leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (INT64_MAX - 9) / 10)
            break;  // saturate instead of overflowing
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix);

// The value of the first header line named `name` (any case), after the colon
// and the blanks that follow it, to the end of its line. Only line starts count,
// so "X-Content-Length:" is not "Content-Length:".
std::optional<Text> headerValue(std::string_view header, std::string_view name) {
    std::size_t line = header.find('\n');  // the status line is no header line
    while (line != std::string_view::npos) {
        const std::size_t start = line + 1;
        std::string_view rest = header.substr(start);
        if (rest.size() > name.size() && rest[name.size()] == ':' && startsWithNoCase(rest, name)) {
            std::size_t value = name.size() + 1;
            while (value < rest.size() && (rest[value] == ' ' || rest[value] == '\t'))
                ++value;
            std::size_t end = rest.find_first_of("\r\n", value);
            if (end == std::string_view::npos)
                end = rest.size();
            return Text(rest.substr(value, end - value));
        }
        line = header.find('\n', start);
    }
    return std::nullopt;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace

UrlParts parseUrl(std::string_view url) {
    std::string lower(url);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    UrlParts parts;
    std::size_t prefix = 0;
    char first = lower.empty() ? '\0' : lower[0];
    if (first == 'h' && prefixSum(lower, 6) == 496) {
        parts.scheme = Scheme::Http, parts.port = 80, prefix = 7;
    } else if (first == 'f' && prefixSum(lower, 5) == 380) {
        parts.scheme = Scheme::Ftp, parts.port = 21, prefix = 6;
    } else if (first == 'm' && prefixSum(lower, 5) == 376) {
        parts.scheme = Scheme::Mms, parts.port = 1755, prefix = 6;
    } else if (first == 'm' && prefixSum(lower, 6) == 492) {
        parts.scheme = Scheme::Mms, parts.port = 1755, prefix = 7;
    } else if (first == 'r' && prefixSum(lower, 6) == 495) {
        parts.scheme = Scheme::Rtsp, parts.port = 554, prefix = 7;
    } else {
        return parts;
    }
    std::size_t slash = url.find('/', prefix);
    if (slash == std::string_view::npos) {
        return parts;
    }
    parts.hasHost = true;
    parts.host = Text(url.substr(prefix, slash - prefix));
    parts.path = Text(url.substr(slash));
    std::size_t colon = parts.host.find(':');
    if (colon != Text::npos) {
        parts.port = static_cast<int>(std::clamp<std::int64_t>(
            leadingNumber(std::string_view(parts.host).substr(colon + 1)), -1, 65535));
    }
    return parts;
}

bool isDottedIpv4(std::string_view host) {
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t digits = 0;
        int value = 0;
        while (i < host.size() && std::isdigit(static_cast<unsigned char>(host[i])) && digits < 4) {
            value = value * 10 + (host[i] - '0');
            ++i, ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return false;
        ++parts;
        if (i == host.size())
            return parts == 4;
        if (host[i] != '.' || parts == 4)
            return false;
        ++i;
    }
}

Text hostName(std::string_view host) {
    return Text(host.substr(0, host.find(':')));
}

Text escapeTarget(std::string_view target) {
    Text escaped;
    for (char c : target) {
        if (c == ' ') {
            escaped += "%20";
        } else {
            escaped += c;
        }
    }
    if (escaped.size() > kRequestArea - 1)
        escaped.resize(kRequestArea - 1);
    return escaped;
}

Text upToLastSlash(std::string_view url) {
    std::size_t slash = url.rfind('/');
    return Text(slash == std::string_view::npos ? url : url.substr(0, slash));
}

std::optional<std::string> buildRequest(std::string_view target, std::string_view host,
                                        std::string_view referer, std::string_view extraHeader) {
    std::string request;
    request.reserve(kRequestArea);
    request.append("GET ").append(target).append(" HTTP/1.1\r\n");
    request.append("Host: ").append(host).append("\r\n");
    request.append("Accept: */*\r\n");
    request.append("Referer: ").append(referer).append("\r\n");
    request.append("User-Agent: ").append(kUserAgent).append("\r\n");
    request.append(extraHeader);
    request.append("Pragma: no-cache\r\n");
    request.append("Cache-Control: no-cache\r\n");
    request.append("Connection: close\r\n\r\n");
    if (request.size() > kRequestArea - 1) {
        return std::nullopt;
    }
    return request;
}

HeaderScan scanHeader(std::string_view received) {
    HeaderScan scan;
    std::size_t v11 = received.find("HTTP/1.1");
    std::size_t v10 = received.find("HTTP/1.0");
    std::size_t status = std::min(v11, v10);
    if (status == std::string_view::npos) {
        return scan;
    }
    std::size_t end = received.find("\r\n\r\n", status);
    if (end == std::string_view::npos) {
        return scan;
    }
    scan.complete = true;
    scan.statusStart = status;
    scan.bodyStart = end + 4;
    return scan;
}

HttpResponse parseResponse(std::string_view header) {
    HttpResponse response;
    if (header.size() > 9) {
        response.status = static_cast<int>(leadingNumber(header.substr(9, 3)));
    }
    switch (response.status) {
        case 200:
        case 301:
        case 302: {
            auto length = headerValue(header, "Content-Length");
            if (length)
                response.contentLength = leadingNumber(*length);
            if (response.status != 200)
                response.location = headerValue(header, "Location");
            break;
        }
        case 206: {
            auto range = headerValue(header, "Content-Range");
            if (range) {
                std::string_view value(*range);
                if (startsWithNoCase(value, "bytes"))
                    value.remove_prefix(5);
                response.contentRange = leadingNumber(value);
                // "start-end/total": the file's length as the server has it now.
                const std::size_t slash = value.find('/');
                if (slash != std::string_view::npos && slash + 1 < value.size() &&
                    std::isdigit(static_cast<unsigned char>(value[slash + 1])))
                    response.contentRangeTotal = leadingNumber(value.substr(slash + 1));
            }
            response.via = headerValue(header, "Via");
            break;
        }
        default:
            return response;
    }
    response.acceptRanges = headerValue(header, "Accept-Ranges");
    response.connection = headerValue(header, "Connection");
    response.contentType = headerValue(header, "Content-Type");
    response.setCookie = headerValue(header, "Set-Cookie");
    response.lastModified = headerValue(header, "Last-Modified");
    response.server = headerValue(header, "Server");
    response.contentDisposition = headerValue(header, "Content-Disposition");
    return response;
}

Text dispositionFileName(std::string_view disposition) {
    std::size_t at = disposition.find("filename=");
    if (at == std::string_view::npos)
        return {};
    std::string_view name = disposition.substr(at + 9);
    if (!name.empty() && name.front() == '"') {
        name.remove_prefix(1);
        return Text(name.substr(0, name.find('"')));
    }
    while (!name.empty() && (name.back() == '\r' || name.back() == '\n'))
        name.remove_suffix(1);
    return Text(name);
}

bool applyRedirect(RequestTarget& request, const HttpResponse& response) {
    constexpr std::size_t kCookieLimit = 4086;
    if (response.setCookie) {
        std::string_view cookie(*response.setCookie);
        cookie = cookie.substr(0, cookie.find(';'));
        if (cookie.size() > kCookieLimit)
            return false;
        request.extraHeader = "Cookie: " + Text(cookie) + "\r\n";
    }
    const Text location = response.location.value_or(Text());
    if (startsWithNoCase(location, "http://")) {
        UrlParts parts = parseUrl(location);
        if (parts.scheme != Scheme::Http || !parts.hasHost)
            return false;
        request.host = parts.host;
        request.port = parts.port;
        request.target = parts.path;
        request.referer = upToLastSlash(location);
        return true;
    }
    // Another scheme would otherwise be taken for a relative name and requested
    // from this host as nonsense.
    if (startsWithNoCase(location, "ftp://") || location.find("://") != Text::npos) {
        return false;
    }
    if (!location.empty() && location.front() == '/') {
        // A path from the root replaces the whole path.
        request.target = location;
        request.referer = "http://" + request.host + upToLastSlash(location);
        return true;
    }
    std::size_t slash = request.target.rfind('/');
    request.target = request.target.substr(0, slash == Text::npos ? 0 : slash + 1) + location;
    request.referer = upToLastSlash("http://" + request.host + "/" + location);
    return true;
}

Text errorTextOf(int code) {
    static const std::array<std::pair<int, const char*>, 26> kTexts{{
        {-2, "位置错误"},
        {-3, "设置或获得SOCK状态出错"},
        {-4, "空指针错误"},
        {-5, "等待接收或发送数据错误"},
        {-6, "等待接收或发送数据超时"},
        {-7, "发送数据错误"},
        {-8, "接收数据错误"},
        {-9, "FD_ISSET 找不到需要的SOCK"},
        {-10, "接收数据超时"},
        {-22, "有错误发生"},
        {-10004, "一个封锁操作被对 WSACancelBlockingCall 的调用中断。"},
        {-10014, "系统检测到在一个调用中尝试使用指针参数时的无效指针地址。"},
        {-10022, "过程调用无效。"},
        {-10035, "无法立即完成一个非阻挡性套接字操作。"},
        {-10036, "目前正在执行一个阻挡性操作。"},
        {-10038, "在一个非套接字上尝试了一个操作。"},
        {-10040, "用户用于接收数据报的缓冲器比数据报小。"},
        {-10045, "参考的对象类型不支持尝试的操作。"},
        {-10050, "套接字操作遇到了一个已死的网络。"},
        {-10052, "当该操作在进行中，由于保持活动的操作检测到一个故障，该连接中断。"},
        {-10053, "您的主机中的软件放弃了一个已建立的连接。"},
        {-10054, "远程主机强迫关闭了一个现有的连接。"},
        {-10057,
         "由于套接字没有连接并且(当使用一个 sendto 调用发送数据报套接字时)没有提供地址，"
         "发送或接收数据的请求没有被接受"},
        {-10058, "由于以前的关闭调用，套接字在那个方向已经关闭，发送或接收数据的请求没有被接受。"},
        {-10060, "由于连接方在一段时间后没有正确答复或连接的主机没有反应，连接尝试失败。"},
        {-10093, "应用程序没有调用 WSAStartup，或者 WSAStartup 失败。"},
    }};
    for (const auto& [known, text] : kTexts) {
        if (known == code)
            return utf8ToGbk(text);
    }
    return utf8ToGbk("未知错误");
}

}  // namespace lumivox::online
