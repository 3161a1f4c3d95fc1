#include "online/HttpText.hpp"

#include <gtest/gtest.h>

#include "base/Encoding.hpp"

namespace lumivox::online {
namespace {

TEST(ParseUrl, SchemesPortsHostsAndPaths) {
    struct Case {
        const char* url;
        Scheme scheme;
        int port;
        bool hasHost;
        const char* host;
        const char* path;
    };
    const Case cases[] = {
        {"http://example.com/dir/a.exe", Scheme::Http, 80, true, "example.com", "/dir/a.exe"},
        {"HTTP://Example.COM:8080/A b.exe?x=1", Scheme::Http, 8080, true, "Example.COM:8080",
         "/A b.exe?x=1"},
        {"ftp://files.example/pub/x.zip", Scheme::Ftp, 21, true, "files.example", "/pub/x.zip"},
        {"mms://media/x", Scheme::Mms, 1755, true, "media", "/x"},
        {"mmst://media/x", Scheme::Mms, 1755, true, "media", "/x"},
        {"rtsp://cam:8554/live", Scheme::Rtsp, 8554, true, "cam:8554", "/live"},
        // The prefix is recognised by the sum of its codes, not letter by letter.
        {"htpt://h/x", Scheme::Http, 80, true, "h", "/x"},
        {"http://example.com", Scheme::Http, 80, false, "", ""},
        {"https://example.com/x", Scheme::Unsupported, 0, false, "", ""},
        {"gopher://example.com/x", Scheme::Unsupported, 0, false, "", ""},
        {"h", Scheme::Unsupported, 0, false, "", ""},
        {"", Scheme::Unsupported, 0, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        UrlParts parts = parseUrl(c.url);
        EXPECT_EQ(parts.scheme, c.scheme);
        if (c.scheme == Scheme::Unsupported)
            continue;
        EXPECT_EQ(parts.port, c.port);
        EXPECT_EQ(parts.hasHost, c.hasHost);
        EXPECT_EQ(parts.host, c.host);
        EXPECT_EQ(parts.path, c.path);
    }
}

TEST(ParseUrl, DottedAddressesAndHostNames) {
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},  {"255.255.255.255", true}, {"1.2.3", false},
        {"1.2.3.4.5", false}, {"256.1.1.1", false},      {"1.2.3.4:80", false},
        {"01.002.3.4", true}, {"1..2.3", false},         {"example.com", false},
        {"1.2.3.4.", false},  {"1234.1.1.1", false},     {"", false},
    };
    for (const auto& [host, dotted] : cases) {
        EXPECT_EQ(isDottedIpv4(host), dotted) << host;
    }
    EXPECT_EQ(hostName("example.com:8080"), "example.com");
    EXPECT_EQ(hostName("example.com"), "example.com");
}

TEST(Request, ExactBytesWithAndWithoutTheExtraLine) {
    const std::string common =
        "Host: example.com:8080\r\n"
        "Accept: */*\r\n"
        "Referer: http://example.com:8080/dir\r\n"
        "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n";
    const std::string tail =
        "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(buildRequest("/dir/a%20b.exe", "example.com:8080", "http://example.com:8080/dir", ""),
              "GET /dir/a%20b.exe HTTP/1.1\r\n" + common + tail);
    EXPECT_EQ(buildRequest("/dir/a.exe", "example.com:8080", "http://example.com:8080/dir",
                           "Range: bytes=20480-\r\n"),
              "GET /dir/a.exe HTTP/1.1\r\n" + common + "Range: bytes=20480-\r\n" + tail);
    EXPECT_EQ(escapeTarget("/my dir/a b.exe"), "/my%20dir/a%20b.exe");
    EXPECT_EQ(escapeTarget(std::string(2000, ' ')).size(), 1023u);
}

TEST(Request, MustFitItsArea) {
    auto sized = [](std::size_t targetLength) {
        return buildRequest("/" + std::string(targetLength - 1, 'a'), "h", "http://h", "");
    };
    // Everything but the target takes a fixed number of bytes; find the largest that fits.
    const std::size_t fixed = buildRequest("", "h", "http://h", "")->size();
    const std::size_t largest = kRequestArea - 1 - fixed;
    ASSERT_TRUE(sized(largest).has_value());
    EXPECT_EQ(sized(largest)->size(), kRequestArea - 1);
    EXPECT_FALSE(sized(largest + 1).has_value());
}

TEST(Header, ScanFindsTheStatusLineAndTheEnd) {
    struct Case {
        std::string data;
        bool complete;
        std::size_t statusStart;
        std::size_t bodyStart;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody", true, 0, 25},
        {"junkHTTP/1.0 200 OK\r\n\r\n", true, 4, 23},
        // The earlier of the two versions counts.
        {"xHTTP/1.0 404 X\r\n\r\nHTTP/1.1 200 OK\r\n\r\n", true, 1, 19},
        {"HTTP/1.1 200 OK\r\nA: b\r\n", false, 0, 0},
        {"\r\n\r\nHTTP/1.1 200 OK\r\n", false, 0, 0},
        {"HTTP/2 200\r\n\r\n", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        HeaderScan scan = scanHeader(c.data);
        EXPECT_EQ(scan.complete, c.complete);
        if (!c.complete)
            continue;
        EXPECT_EQ(scan.statusStart, c.statusStart);
        EXPECT_EQ(scan.bodyStart, c.bodyStart);
    }
}

TEST(Header, ParsingReadsWhatEachStatusCarries) {
    HttpResponse ok = parseResponse(
        "HTTP/1.1 200 OK\r\nServer: s1\r\nContent-Length: 12345678901\r\nAccept-Ranges: bytes\r\n"
        "Content-type: application/x\r\nSet-cookie: k=v\r\nLast-Modified: yesterday\r\n"
        "Content-Disposition: attachment; filename=\"n m.exe\"\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.contentLength, 12345678901);
    EXPECT_EQ(ok.server, "s1");
    EXPECT_EQ(ok.acceptRanges, "bytes");
    EXPECT_EQ(ok.contentType, "application/x");
    EXPECT_EQ(ok.setCookie, "k=v");
    EXPECT_EQ(ok.lastModified, "yesterday");
    EXPECT_EQ(ok.connection, "close");
    EXPECT_EQ(dispositionFileName(*ok.contentDisposition), "n m.exe");
    EXPECT_EQ(dispositionFileName("attachment; filename=plain.bin\r"), "plain.bin");
    EXPECT_EQ(dispositionFileName("inline"), "");

    HttpResponse lower = parseResponse("HTTP/1.1 200 OK\r\nContent-length: 7\r\n\r\n");
    EXPECT_EQ(lower.contentLength, 7);

    HttpResponse partial = parseResponse(
        "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\nContent-Range: bytes 100-109/200\r\n"
        "Via: proxy\r\n\r\n");
    EXPECT_EQ(partial.status, 206);
    EXPECT_EQ(partial.contentLength, -1);  // a segment's length is not the file's
    EXPECT_EQ(partial.contentRange, 100);
    EXPECT_EQ(partial.via, "proxy");

    HttpResponse moved = parseResponse(
        "HTTP/1.1 302 Found\r\nLocation: b.exe\r\nSet-Cookie: id=7; path=/\r\nContent-Length: "
        "0\r\n\r\n");
    EXPECT_EQ(moved.status, 302);
    EXPECT_EQ(moved.location, "b.exe");
    EXPECT_EQ(moved.setCookie, "id=7; path=/");
    EXPECT_EQ(moved.contentLength, 0);

    HttpResponse missing =
        parseResponse("HTTP/1.0 404 Not Found\r\nContent-Length: 5\r\nServer: s\r\n\r\n");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.contentLength, -1);
    EXPECT_FALSE(missing.server.has_value());

    HttpResponse noLength = parseResponse("HTTP/1.1 200 OK\r\nServer: s\r\n\r\n");
    EXPECT_EQ(noLength.contentLength, -1);
    EXPECT_EQ(parseResponse("HTTP/1.1").status, 0);
}

// Header names count only at the start of a line, in any case, with or without
// blanks after the colon.
TEST(Header, NamesMatchAtLineStartsInAnyCase) {
    struct Case {
        const char* header;
        std::int64_t length, rangeStart, rangeTotal;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\n", 5, -1, -1},
        {"HTTP/1.1 200 OK\r\nCONTENT-LENGTH:5\r\n\r\n", 5, -1, -1},
        {"HTTP/1.1 200 OK\r\nContent-Length:\t 5\r\n\r\n", 5, -1, -1},
        {"HTTP/1.1 200 OK\r\nX-Content-Length: 99\r\nContent-Length: 5\r\n\r\n", 5, -1, -1},
        {"HTTP/1.1 200 OK\r\nX-Content-Length: 99\r\n\r\n", -1, -1, -1},
        {"HTTP/1.1 200 OK Content-Length: 9\r\n\r\n", -1, -1, -1},  // not in the status line
        {"HTTP/1.1 206 Partial\r\ncontent-range: bytes 10-19/200\r\n\r\n", -1, 10, 200},
        {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 10-19/*\r\n\r\n", -1, 10, -1},
        {"HTTP/1.1 206 Partial\r\nX-Content-Range: bytes 7-9/10\r\n\r\n", -1, -1, -1},
    };
    for (const Case& c : cases) {
        const HttpResponse response = parseResponse(c.header);
        EXPECT_EQ(response.contentLength, c.length) << c.header;
        EXPECT_EQ(response.contentRange, c.rangeStart) << c.header;
        EXPECT_EQ(response.contentRangeTotal, c.rangeTotal) << c.header;
    }
}

TEST(Redirect, LocationsAndCookies) {
    struct Case {
        const char* location;
        const char* cookie;  // nullptr: no Set-Cookie
        bool ok;
        const char* host;
        int port;
        const char* target;
        const char* referer;
        const char* extra;
    };
    const Case cases[] = {
        {"b.exe", nullptr, true, "h:81", 81, "/dir/b.exe", "http://h:81", ""},
        {"sub/c.exe", "id=7; path=/", true, "h:81", 81, "/dir/sub/c.exe", "http://h:81/sub",
         "Cookie: id=7\r\n"},
        {"http://other.example:9/x/y.exe", "k=v", true, "other.example:9", 9, "/x/y.exe",
         "http://other.example:9/x", "Cookie: k=v\r\n"},
        {"/root/z.exe", nullptr, true, "h:81", 81, "/root/z.exe", "http://h:81/root", ""},
        {"FTP://files/x.exe", nullptr, false, "", 0, "", "", ""},
        {"https://secure/x.exe", nullptr, false, "", 0, "", "", ""},
        {"http://nopath", nullptr, false, "", 0, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.location);
        RequestTarget request{"h:81", 81, "/dir/a.exe", "http://h:81/dir", ""};
        HttpResponse response;
        response.status = 302;
        response.location = c.location;
        if (c.cookie)
            response.setCookie = c.cookie;
        ASSERT_EQ(applyRedirect(request, response), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(request.host, c.host);
        EXPECT_EQ(request.port, c.port);
        EXPECT_EQ(request.target, c.target);
        EXPECT_EQ(request.referer, c.referer);
        EXPECT_EQ(request.extraHeader, c.extra);
    }
    RequestTarget request{"h", 80, "/a", "http://h", ""};
    HttpResponse huge;
    huge.location = "b";
    huge.setCookie = std::string(4087, 'c');
    EXPECT_FALSE(applyRedirect(request, huge));
    huge.setCookie = std::string(4086, 'c') + ";x";
    EXPECT_TRUE(applyRedirect(request, huge));
}

TEST(ErrorText, EngineCodesSocketCodesAndTheRest) {
    const std::pair<int, const char*> cases[] = {
        {-5, "等待接收或发送数据错误"},
        {-10, "接收数据超时"},
        {-22, "有错误发生"},
        {-10054, "远程主机强迫关闭了一个现有的连接。"},
        {-10060, "由于连接方在一段时间后没有正确答复或连接的主机没有反应，连接尝试失败。"},
        {-10061, "未知错误"},
        {-1, "未知错误"},
    };
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(gbkToUtf8(errorTextOf(code)), text) << code;
    }
    EXPECT_EQ(errorTextOf(-22), utf8ToGbk("有错误发生"));  // GBK inside the program
}

}  // namespace
}  // namespace lumivox::online
