#include "remote/RemoteApi.hpp"

#include <charconv>

#include <nlohmann/json.hpp>

namespace lumivox {
namespace {

// A whole decimal number in [1, last]; 0 otherwise.
int numberIn(std::string_view text, int last) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > last) {
        return 0;
    }
    return value;
}

ApiAnswer error(int status, std::string_view message) {
    return {status, errorJson(message)};
}

ApiAnswer done(bool taken) {
    return taken ? ApiAnswer{200, R"({"ok":true})"} : error(503, "程序正在退出");
}

// "/api/<kind>/<N>/<verb>": the number's text, when the path has that shape.
std::optional<std::string_view> numberedRoute(std::string_view path, std::string_view kind,
                                              std::string_view verb) {
    const std::string prefix = "/api/" + std::string(kind) + "/";
    const std::string suffix = "/" + std::string(verb);
    if (path.size() <= prefix.size() + suffix.size() || !path.starts_with(prefix) ||
        !path.ends_with(suffix)) {
        return std::nullopt;
    }
    return path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
}

}  // namespace

std::string errorJson(std::string_view message) {
    // The message may quote the client's path: bytes that are no UTF-8 are replaced.
    return nlohmann::json{{"error", std::string(message)}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool bearerMatches(std::string_view authorization, std::string_view token) {
    constexpr std::string_view kScheme = "Bearer ";
    if (token.empty() || !authorization.starts_with(kScheme)) {
        return false;
    }
    const std::string_view given = authorization.substr(kScheme.size());
    unsigned difference = given.size() == token.size() ? 0u : 1u;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char g = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(g ^ token[i]);
    }
    return difference == 0;
}

bool hostAllowed(std::string_view host, std::string_view localIp, int port) {
    const std::string portText = ":" + std::to_string(port);
    if (!host.ends_with(portText)) {
        return false;
    }
    const std::string_view name = host.substr(0, host.size() - portText.size());
    return name == localIp || (localIp == "127.0.0.1" && name == "localhost");
}

bool isEventsPath(std::string_view path) {
    return path == "/api/events";
}

ApiAnswer answerApi(const ApiRequest& request, std::string_view token, RemoteBoard& board) {
    if (!bearerMatches(request.authorization, token)) {
        return error(401, "令牌不对");
    }
    const std::string_view path = request.path;
    const bool get = request.method == "GET";
    const bool post = request.method == "POST";
    struct Numbered {
        std::string_view kind, verb;
        int last;
        bool (RemoteBoard::*act)(int);
    };
    static constexpr Numbered kNumbered[] = {
        {"effects", "play", kRemoteEffectCount, &RemoteBoard::playEffect},
        {"songs", "play", kRemoteSongCount, &RemoteBoard::playSong},
        {"phrases", "send", kRemotePhraseCount, &RemoteBoard::sendPhrase},
    };
    for (const Numbered& route : kNumbered) {
        if (const auto text = numberedRoute(path, route.kind, route.verb)) {
            const int number = numberIn(*text, route.last);
            if (number == 0) {
                return error(404, "没有这个编号：" + std::string(*text));
            }
            if (!post) {
                return error(405, "请用 POST");
            }
            return done((board.*route.act)(number));
        }
    }
    if (path == "/api/stop") {
        return post ? done(board.stopAll()) : error(405, "请用 POST");
    }
    if (path == "/api/state") {
        if (!get) {
            return error(405, "请用 GET");
        }
        if (auto state = board.stateJson()) {
            return {200, std::move(*state)};
        }
        return error(503, "程序正在退出");
    }
    return error(404, "没有这个接口");
}

}  // namespace lumivox
