// The version file through libcurl, web pages through the desktop's opener (xdg-open).
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>
#include <thread>

#include <curl/curl.h>

#include "platform/Web.hpp"

extern char** environ;

namespace lumivox::platform {
namespace {

constexpr const char* kAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// libcurl's global state is made once per process, as the internet handle is.
void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Body {
    ByteData bytes;
    std::size_t cap = 0;
    bool overCap = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    auto* body = static_cast<Body*>(target);
    if (body->cap != 0 && body->bytes.size() + size * count > body->cap) {
        body->overCap = true;
        return 0;  // ends the transfer
    }
    body->bytes.insert(body->bytes.end(), reinterpret_cast<std::uint8_t*>(data),
                       reinterpret_cast<std::uint8_t*>(data) + size * count);
    return size * count;
}

}  // namespace

ByteData readHttpFile(const std::string& url, const HttpReadLimits& limits) {
    Body body;
    body.cap = limits.maxBodyBytes;
    if (url.empty()) {
        return {};
    }
    initialiseOnce();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return {};
    }
    // Everything from the first "#" on is the page's own and never sent.
    const std::string target = url.substr(0, url.find('#'));
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Accept: */*");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    // Silence: less than one byte a second for that long ends the read.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, limits.silenceTimeoutMs / 1000));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    // The proxy comes from the environment (http_proxy, no_proxy), libcurl's default.
    curl_easy_perform(curl);  // a failure keeps what arrived before it
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (body.overCap) {
        return {};
    }
    return std::move(body.bytes);
}

bool openWebPage(const std::string& url) {
    std::string opener = "xdg-open";
    std::string argument = url;
    char* argv[] = {opener.data(), argument.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        return false;
    }
    // The opener hands the page to the browser and ends; reap it out of the way.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace lumivox::platform
