// A request to the remote panel as any client may send it: any bytes. Where it
// ends is never past what arrived nor past the limits; the API answers every
// method and path with one of its statuses and a JSON body, and acts only for
// the right token, on a number in range, once.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "remote/RemoteApi.hpp"
#include "remote/RequestFraming.hpp"

using namespace lumivox;

namespace {

const std::string kToken = "abcdefghijklmnopqrstuvwxyz012345";

// Counts what the API asked of the board, and checks each number.
class CountingBoard : public RemoteBoard {
  public:
    int calls = 0;
    std::optional<std::string> stateJson() override { return count(1, 1, "{}"); }
    bool playEffect(int n) override { return count(n, kRemoteEffectCount).has_value(); }
    bool playSong(int n) override { return count(n, kRemoteSongCount).has_value(); }
    bool stopAll() override { return count(1, 1).has_value(); }
    bool sendPhrase(int n) override { return count(n, kRemotePhraseCount).has_value(); }

  private:
    std::optional<std::string> count(int n, int last, std::string answer = "") {
        if (n < 1 || n > last) {
            std::abort();
        }
        ++calls;
        return answer;
    }
};

std::string headerValue(std::string_view head, std::string_view name) {
    const std::size_t at = head.find("\r\n" + std::string(name) + ": ");
    if (at == std::string_view::npos) {
        return {};
    }
    const std::size_t from = at + name.size() + 4;
    return std::string(head.substr(from, head.find("\r\n", from) - from));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const Framing framing = frameRequest(bytes);
    switch (framing.kind) {
        case Framing::Kind::Complete:
            if (framing.length > bytes.size() || framing.length > kMaxHeadBytes + kMaxBodyBytes) {
                std::abort();
            }
            break;
        case Framing::Kind::Refused:
            if (framing.status != 400 && framing.status != 413 && framing.status != 431) {
                std::abort();
            }
            break;
        case Framing::Kind::Incomplete:
            if (bytes.size() >= kMaxHeadBytes + kMaxBodyBytes) {
                std::abort();
            }
            break;
    }
    // The request line's method and path, and the two headers the API reads.
    const std::string line = bytes.substr(0, bytes.find("\r\n"));
    const std::size_t space = line.find(' ');
    const std::string method = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    const std::string path = rest.substr(0, rest.find(' '));
    const std::string authorization = headerValue(bytes, "Authorization");
    (void)hostAllowed(headerValue(bytes, "Host"), "127.0.0.1", 8765);

    CountingBoard board;
    const ApiAnswer answer = answerApi({method, path, authorization}, kToken, board);
    const bool authorized = bearerMatches(authorization, kToken);
    if ((!authorized && (answer.status != 401 || board.calls != 0)) || board.calls > 1 ||
        (answer.status == 200) != (board.calls == 1)) {
        std::abort();
    }
    if (answer.status != 200 && answer.status != 401 && answer.status != 404 &&
        answer.status != 405) {
        std::abort();
    }
    if (!nlohmann::json::accept(answer.body)) {
        std::abort();
    }
    return 0;
}
