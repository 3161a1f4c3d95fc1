// The remote panel's rules, apart from the server: where a request ends and
// what is refused before the HTTP library sees it, the token and Host checks,
// the [remote] group, the token's making and the events' bounded queues.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "base/IniDocument.hpp"
#include "remote/RemoteApi.hpp"
#include "remote/RemoteEvents.hpp"
#include "remote/RemoteSettings.hpp"
#include "remote/RequestFraming.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;

TEST(RemoteFraming, FindsTheEndOfAWholeRequestAndRefusesWhatCouldHoldAConnection) {
    const std::string get = "GET /api/state HTTP/1.1\r\nHost: a\r\n\r\n";
    struct Case {
        std::string bytes;
        Framing::Kind kind;
        std::size_t length;  // Complete
        int status;          // Refused
    };
    const Case cases[] = {
        {get, Framing::Kind::Complete, get.size(), 0},
        {get + "GET / HTTP/1.1\r\n", Framing::Kind::Complete, get.size(), 0},  // one at a time
        {get.substr(0, get.size() - 1), Framing::Kind::Incomplete, 0, 0},
        {"POST /api/stop HTTP/1.1\r\ncontent-LENGTH:  3 \r\n\r\nab", Framing::Kind::Incomplete, 0,
         0},
        {"POST /api/stop HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcdef", Framing::Kind::Complete, 49,
         0},
        {"POST / HTTP/1.1\r\nContent-Length: 4097\r\n\r\n", Framing::Kind::Refused, 0, 413},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
         Framing::Kind::Refused, 0, 413},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", Framing::Kind::Refused, 0, 400},
        {"POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", Framing::Kind::Refused, 0, 400},
        {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
         Framing::Kind::Refused, 0, 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", Framing::Kind::Refused, 0, 400},
        {"GET / HTTP/1.1\r\nX: " + std::string(kMaxHeadBytes, 'a'), Framing::Kind::Refused, 0, 431},
        {"GET / HTTP/1.1\r\nX: " + std::string(kMaxHeadBytes - 23, 'a') + "\r\n\r\n",
         Framing::Kind::Complete, kMaxHeadBytes, 0},
        {"GET / HTTP/1.1\r\nX: " + std::string(kMaxHeadBytes - 22, 'a') + "\r\n\r\n",
         Framing::Kind::Refused, 0, 431},
    };
    for (const Case& c : cases) {
        const Framing framing = frameRequest(c.bytes);
        EXPECT_EQ(framing.kind, c.kind) << c.bytes.substr(0, 60);
        if (c.kind == Framing::Kind::Complete) {
            EXPECT_EQ(framing.length, c.length) << c.bytes.substr(0, 60);
        }
        if (c.kind == Framing::Kind::Refused) {
            EXPECT_EQ(framing.status, c.status) << c.bytes.substr(0, 60);
        }
    }
}

TEST(RemoteAccess, OnlyTheExactBearerTokenAndTheListeningAddressAsHostAreTaken) {
    const std::string token = "abcdefghijklmnopqrstuvwxyz012345";
    struct Bearer {
        std::string header;
        bool taken;
    };
    const Bearer bearers[] = {
        {"Bearer " + token, true},
        {"Bearer " + token + "x", false},
        {"Bearer " + token.substr(1), false},
        {"bearer " + token, false},
        {"Basic " + token, false},
        {token, false},
        {"", false},
        {"Bearer ", false},
    };
    for (const Bearer& b : bearers) {
        EXPECT_EQ(bearerMatches(b.header, token), b.taken) << b.header;
    }
    EXPECT_FALSE(bearerMatches("Bearer ", ""));  // no token yet: nothing opens

    struct Host {
        std::string host, localIp;
        bool taken;
    };
    const Host hosts[] = {
        {"127.0.0.1:8765", "127.0.0.1", true},
        {"localhost:8765", "127.0.0.1", true},
        {"192.168.1.20:8765", "192.168.1.20", true},
        {"localhost:8765", "192.168.1.20", false},
        {"127.0.0.1:8766", "127.0.0.1", false},
        {"127.0.0.1", "127.0.0.1", false},
        {"evil.example:8765", "127.0.0.1", false},
        {"127.0.0.1.evil.example:8765", "127.0.0.1", false},
        {"", "127.0.0.1", false},
    };
    for (const Host& h : hosts) {
        EXPECT_EQ(hostAllowed(h.host, h.localIp, 8765), h.taken) << h.host << " on " << h.localIp;
    }
}

TEST(RemoteSettingsGroup, ReadsThePreparedGroupAndKeepsThePanelOffOnAnythingDoubtful) {
    const std::string good = "abcdefghijklmnopqrstuv";  // 22 characters: 132 bits
    struct Case {
        std::string ini;
        bool enabled;
        std::string listen;
        std::string token;
    };
    const Case cases[] = {
        {"", false, "127.0.0.1:8765", ""},
        {"[audio]\neffects_volume=50\n", false, "127.0.0.1:8765", ""},
        {"[remote]\nenabled=true\nlisten=0.0.0.0:9000\ntoken=" + good + "\n", true, "0.0.0.0:9000",
         good},
        {"[remote]\nenabled=yes\nlisten=192.168.1.2:9000\ntoken=" + good + "\n", true,
         "127.0.0.1:8765", good},
        {"[remote]\nenabled=true\nlisten=127.0.0.1:70000\n", true, "127.0.0.1:8765", ""},
        {"[remote]\nenabled=maybe\nlisten=127.0.0.1:1\ntoken=" + good.substr(1) + "\n", false,
         "127.0.0.1:1", ""},
        {"[remote]\nenabled=true\ntoken=" + good + "+/=\n", true, "127.0.0.1:8765", ""},
    };
    for (const Case& c : cases) {
        const RemoteSettings settings = readRemoteSettings(IniDocument::parse(c.ini));
        EXPECT_EQ(settings.enabled, c.enabled) << c.ini;
        EXPECT_EQ(settings.listen.text(), c.listen) << c.ini;
        EXPECT_EQ(settings.token, c.token) << c.ini;
    }
}

TEST(RemoteSettingsGroup, NewTokensAreLongUrlSafeAndNeverRepeat) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string token = newRemoteToken();
        ASSERT_EQ(token.size(), 32u);  // 192 bits
        EXPECT_EQ(token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789-_"),
                  std::string::npos)
            << token;
        EXPECT_TRUE(seen.insert(token).second) << token;
        // The file reads it back as a token.
        EXPECT_EQ(readRemoteSettings(IniDocument::parse("[remote]\ntoken=" + token)).token, token);
    }
}

TEST(RemoteEventHub, EveryStreamGetsEachEventAndAStalledOneIsEndedNotGrown) {
    EventHub hub;
    auto reader = hub.open();
    auto stalled = hub.open();
    ASSERT_TRUE(reader && stalled);
    for (std::size_t i = 0; i <= kMaxQueuedEvents; ++i) {
        hub.publish("playing", "{\"n\":" + std::to_string(i) + "}\n");
        EXPECT_EQ(reader->next(0ms), eventFrame("playing", "{\"n\":" + std::to_string(i) + "} "));
    }
    EXPECT_EQ(reader->next(0ms), "");  // quiet: a keep-alive is due
    EXPECT_EQ(stalled->next(0ms), std::nullopt);
    EXPECT_EQ(hub.openCount(), 1u);

    std::vector<std::shared_ptr<EventStream>> streams;
    while (auto stream = hub.open()) {
        streams.push_back(stream);
    }
    EXPECT_EQ(hub.openCount(), kMaxEventStreams);
    hub.endAll();  // the token changed
    EXPECT_EQ(reader->next(0ms), std::nullopt);
    EXPECT_TRUE(hub.open());
}

}  // namespace
}  // namespace lumivox
