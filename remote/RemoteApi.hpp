#pragma once
// The remote panel's JSON API, apart from the HTTP server that carries it: who
// may call it (the token, the Host the request names) and what each route does.
//   GET  /api/state              the board: effects, song slots, phrases, playing, volumes
//   POST /api/effects/N/play     effect button N (1 to 50)
//   POST /api/songs/N/play       song slot N (1 to 18)
//   POST /api/stop               the stop button: every sound
//   POST /api/phrases/N/send     phrase N (1 to 12), as F-key N sends it
//   GET  /api/events             server-sent events (the server streams them)
#include <optional>
#include <string>
#include <string_view>

namespace lumivox {

inline constexpr int kRemoteEffectCount = 50;
inline constexpr int kRemoteSongCount = 18;
inline constexpr int kRemotePhraseCount = 12;

// What the API acts on: the program's board. Called on the server's threads; an
// implementation hands each call to the GUI thread. False (or none) when the
// program no longer takes work (it is ending).
class RemoteBoard {
  public:
    virtual ~RemoteBoard() = default;
    virtual std::optional<std::string> stateJson() = 0;
    virtual bool playEffect(int number) = 0;
    virtual bool playSong(int number) = 0;
    virtual bool stopAll() = 0;
    virtual bool sendPhrase(int number) = 0;
};

struct ApiRequest {
    std::string_view method;
    std::string_view path;           // without the query
    std::string_view authorization;  // the header's value, empty when missing
};

struct ApiAnswer {
    int status = 200;
    std::string body;  // JSON
};

// True when `authorization` is exactly "Bearer <token>" and the token is not
// empty. Compared in a time that does not depend on where they differ.
bool bearerMatches(std::string_view authorization, std::string_view token);

// True when the request's Host names the address the client reached: this
// end's IP (or "localhost" on loopback) with the listening port. A name of
// anyone else's (a page that rebound its name to this address) is refused.
bool hostAllowed(std::string_view host, std::string_view localIp, int port);

// The path names the events stream (its token is checked as for any route).
bool isEventsPath(std::string_view path);

// Answers one API request: 401 without the right token (before anything else),
// 404 for unknown routes and numbers out of range, 405 for a route's other
// methods, 503 when the program no longer takes work.
ApiAnswer answerApi(const ApiRequest& request, std::string_view token, RemoteBoard& board);

// {"error": message} as the API's error bodies have it.
std::string errorJson(std::string_view message);

}  // namespace lumivox
