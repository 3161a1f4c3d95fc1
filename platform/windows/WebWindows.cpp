// The version file over WinINet (HTTP/1.0 GET, always reloaded, never cached,
// the system's proxy settings) and web pages through the shell's opener.
#include <windows.h>
// After windows.h, whose types they use.
#include <shellapi.h>
#include <wininet.h>

#include <chrono>
#include <mutex>

#include "platform/Web.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {
namespace {

constexpr const wchar_t* kAgent = L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// The internet handle: opened once per process and kept, as the system expects.
HINTERNET internetHandle() {
    static HINTERNET handle =
        InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    return handle;
}

struct InternetHandle {
    HINTERNET value = nullptr;
    ~InternetHandle() {
        if (value != nullptr) {
            InternetCloseHandle(value);
        }
    }
};

// The read size: the whole body and one byte where its length is known and
// modest, 100 KiB blocks for a large one, 10 KiB ones when it is unknown.
DWORD readSize(HINTERNET request) {
    DWORD length = 0;
    DWORD size = sizeof length;
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                        nullptr) ||
        length == 0) {
        return 10240;
    }
    return length < 102400 ? length + 1 : 102400;
}

}  // namespace

ByteData readHttpFile(const std::string& url, const HttpReadLimits& limits) {
    ByteData body;
    if (url.empty() || internetHandle() == nullptr) {
        return body;
    }
    // Everything from the first "#" on is the page's own and never sent.
    const std::wstring target = widen(url.substr(0, url.find('#')));
    wchar_t host[256] = {}, user[256] = {}, password[256] = {}, path[2048] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUserName = user;
    parts.dwUserNameLength = 256;
    parts.lpszPassword = password;
    parts.dwPasswordLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!InternetCrackUrlW(target.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        return body;
    }
    HINTERNET internet = internetHandle();
    DWORD connectTimeout = static_cast<DWORD>(limits.connectTimeoutMs);
    DWORD silenceTimeout = static_cast<DWORD>(limits.silenceTimeoutMs);
    InternetSetOptionW(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout,
                       sizeof connectTimeout);
    // Connect, send and receive are each bounded (WinINet's own defaults wait far
    // longer on a server that accepts and never answers).
    for (DWORD option : {INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
        InternetSetOptionW(internet, option, &silenceTimeout, sizeof silenceTimeout);
    }
    InternetHandle connection{
        InternetConnectW(internet, host, parts.nPort, user[0] ? user : nullptr,
                         password[0] ? password : nullptr, INTERNET_SERVICE_HTTP, 0, 0)};
    if (connection.value == nullptr) {
        return body;
    }
    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
        flags |= INTERNET_FLAG_SECURE;
    }
    InternetHandle request{HttpOpenRequestW(connection.value, L"GET", path[0] ? path : L"/",
                                            L"HTTP/1.0", nullptr, nullptr, flags, 0)};
    const wchar_t* extra = L"Accept: */*\r\nCache-Control: no-cache\r\n\r\n";
    if (request.value == nullptr ||
        !HttpSendRequestW(request.value, extra, static_cast<DWORD>(-1), nullptr, 0)) {
        return body;
    }
    // The status is not looked at: an error page comes back as data too.
    const DWORD chunk = readSize(request.value);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.totalTimeoutMs);
    ByteData block(chunk);
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.value, block.data(), chunk, &got) || got == 0) {
            break;  // the end, or a failure that keeps what arrived before it
        }
        if (limits.maxBodyBytes != 0 && body.size() + got > limits.maxBodyBytes) {
            return {};  // no file the caller reads
        }
        body.insert(body.end(), block.begin(), block.begin() + got);
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
    }
    return body;
}

bool openWebPage(const std::string& url) {
    // Above 32 is success; the browser opens the page on its own.
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace lumivox::platform
