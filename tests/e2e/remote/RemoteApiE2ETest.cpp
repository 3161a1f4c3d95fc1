// The remote panel's API against the real program: each route with good and
// bad numbers, without a token, with a wrong one, with another Host; what it
// does is judged where the host would notice it: effects and songs at the
// private sound server's sink, phrases in a chat box that has the focus.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/Sockets.hpp"
#include "tests/e2e/remote/RemoteProgram.hpp"

namespace lumivox::testing {
namespace {

using namespace std::chrono_literals;

const std::string kGroup =
    "[remote]\nenabled = true\nlisten = 127.0.0.1:PORT\ntoken = " + kRemoteToken + "\n";

TEST(RemoteApiE2E, RoutesActOnlyWithTheTokenOnTheirOwnHostAndNumbersInRange) {
    RemoteProgram program(kGroup);
    ASSERT_TRUE(program.ok()) << program.log();
    const int port = program.port();
    const std::string ownHost = "127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(waitUntil(
        [&] { return apiCall(port, "GET", "/api/state", kRemoteToken).status == 200; }, 30s))
        << program.log();

    // The state: the board as the window shows it.
    const HttpAnswer state = apiCall(port, "GET", "/api/state", kRemoteToken);
    const nlohmann::json board = nlohmann::json::parse(state.body);
    ASSERT_EQ(board["effects"].size(), 50u);
    EXPECT_EQ(board["effects"][2]["caption"], "公鸡叫早");
    ASSERT_EQ(board["songs"].size(), 18u);
    EXPECT_EQ(board["songs"][1]["caption"], "song");
    ASSERT_EQ(board["phrases"].size(), 12u);
    EXPECT_EQ(board["phrases"][2]["start"], "短语 3");
    EXPECT_EQ(board["volumes"]["effects"], 100);
    EXPECT_EQ(board["playing"].size(), 0u);
    EXPECT_EQ(state.head.find("Access-Control"), std::string::npos) << state.head;

    // Everything that must not act, then one check that nothing sounded or arrived.
    struct Refused {
        std::string method, path, token, host;
        int status;
    };
    const std::string wrong = kRemoteToken.substr(0, kRemoteToken.size() - 1) + "x";
    const Refused refused[] = {
        {"POST", "/api/effects/3/play", "", "", 401},
        {"POST", "/api/effects/3/play", wrong, "", 401},
        {"POST", "/api/phrases/3/send", wrong, "", 401},
        {"POST", "/api/stop", "", "", 401},
        {"GET", "/api/state", "", "", 401},
        {"GET", "/api/events", wrong, "", 401},
        {"POST", "/api/effects/3/play", kRemoteToken, "rebound.example:" + std::to_string(port),
         403},
        {"GET", "/", "", "rebound.example:" + std::to_string(port), 403},
        {"POST", "/api/phrases/3/send", kRemoteToken, "127.0.0.1:1", 403},
        {"POST", "/api/effects/0/play", kRemoteToken, "", 404},
        {"POST", "/api/effects/51/play", kRemoteToken, "", 404},
        {"POST", "/api/effects/3x/play", kRemoteToken, "", 404},
        {"POST", "/api/effects/-3/play", kRemoteToken, "", 404},
        {"POST", "/api/songs/19/play", kRemoteToken, "", 404},
        {"POST", "/api/songs/0/play", kRemoteToken, "", 404},
        {"POST", "/api/phrases/13/send", kRemoteToken, "", 404},
        {"POST", "/api/phrases/0/send", kRemoteToken, "", 404},
        {"POST", "/api/effects/3/stop", kRemoteToken, "", 404},
        {"GET", "/api/effects/3/play", kRemoteToken, "", 405},
        {"GET", "/api/phrases/3/send", kRemoteToken, "", 405},
        {"POST", "/api/state", kRemoteToken, "", 405},
    };
    const std::size_t before = program.recorder().sampleCount();
    for (const Refused& r : refused) {
        const HttpAnswer answer = apiCall(port, r.method, r.path, r.token, r.host);
        EXPECT_EQ(answer.status, r.status) << r.method << " " << r.path << " host " << r.host;
        if (r.path.starts_with("/api/")) {
            EXPECT_TRUE(nlohmann::json::accept(answer.body)) << answer.body;
        }
    }
    EXPECT_FALSE(program.heardAfter(before, 2s)) << "a refused request played a sound";
    EXPECT_EQ(program.chatMessages(), "") << "a refused request sent a phrase";

    // The same routes with the token: they act.
    std::size_t mark = program.recorder().sampleCount();
    EXPECT_EQ(apiCall(port, "POST", "/api/effects/3/play", kRemoteToken).status, 200);
    EXPECT_TRUE(program.heardAfter(mark, 5s)) << program.log();
    EXPECT_TRUE(waitUntil(
        [&] {
            const auto now =
                nlohmann::json::parse(apiCall(port, "GET", "/api/state", kRemoteToken).body);
            return now["playing"].size() == 1 && now["playing"][0]["number"] == 3;
        },
        5s));
    EXPECT_EQ(apiCall(port, "POST", "/api/stop", kRemoteToken).status, 200);
    EXPECT_TRUE(program.quietAfter(program.recorder().sampleCount(), 5s));

    mark = program.recorder().sampleCount();
    EXPECT_EQ(apiCall(port, "POST", "/api/songs/2/play", kRemoteToken,
                      "localhost:" + std::to_string(port))
                  .status,
              200);
    EXPECT_TRUE(program.heardAfter(mark, 10s)) << program.log();
    EXPECT_EQ(apiCall(port, "POST", "/api/stop", kRemoteToken).status, 200);
    EXPECT_TRUE(program.quietAfter(program.recorder().sampleCount(), 5s));

    // The hotkeys are off: the phrase goes all the same, once, into the chat box.
    EXPECT_EQ(apiCall(port, "POST", "/api/phrases/3/send", kRemoteToken, ownHost).status, 200);
    EXPECT_TRUE(waitUntil([&] { return program.chatMessages() == "短语 3\n"; }, 10s))
        << "[" << program.chatMessages() << "]\n"
        << program.log();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(program.chatMessages(), "短语 3\n");
    EXPECT_TRUE(program.running());
}

TEST(RemoteApiE2E, WithoutTheGroupOrSwitchedOffNothingListens) {
    for (const std::string& group :
         {std::string(),
          "[remote]\nenabled = false\nlisten = 127.0.0.1:PORT\ntoken = " + kRemoteToken + "\n"}) {
        RemoteProgram program(group);
        ASSERT_TRUE(program.ok()) << program.log();
        std::this_thread::sleep_for(2s);  // well past the start-up
        EXPECT_EQ(program.listeningSockets(), 0) << group;
        EXPECT_EQ(apiCall(program.port(), "GET", "/", "").status, 0) << group;
    }
    // The same count sees the panel when it is on.
    RemoteProgram on(kGroup);
    ASSERT_TRUE(on.ok()) << on.log();
    EXPECT_TRUE(waitUntil([&] { return on.listeningSockets() == 1; }, 20s));
}

// Loopback unless the host allows the local network; then phones reach it at the
// computer's address, named as such in Host.
TEST(RemoteApiE2E, TheLocalNetworkReachesThePanelOnlyWhenAllowed) {
    std::string lan;
    if (!platform::networkAddress(lan)) {
        GTEST_SKIP() << "this machine has no network address";
    }
    for (const bool allowed : {false, true}) {
        RemoteProgram program(std::string("[remote]\nenabled = true\nlisten = ") +
                              (allowed ? "0.0.0.0" : "127.0.0.1") +
                              ":PORT\ntoken = " + kRemoteToken + "\n");
        ASSERT_TRUE(program.ok()) << program.log();
        const int port = program.port();
        const std::string atLan = lan + ":" + std::to_string(port);
        ASSERT_TRUE(waitUntil(
            [&] { return apiCall(port, "GET", "/api/state", kRemoteToken).status == 200; }, 30s));
        auto overLan = [&](const std::string& host) {
            return httpExchange(port,
                                "GET /api/state HTTP/1.1\r\nHost: " + host +
                                    "\r\nAuthorization: Bearer " + kRemoteToken + "\r\n\r\n",
                                5s, lan)
                .status;
        };
        EXPECT_EQ(overLan(atLan), allowed ? 200 : 0) << "allowed " << allowed;
        if (allowed) {
            // The address the phone reached, not another name for the computer.
            EXPECT_EQ(overLan("127.0.0.1:" + std::to_string(port)), 403);
            EXPECT_EQ(overLan("localhost:" + std::to_string(port)), 403);
        }
    }
}

}  // namespace
}  // namespace lumivox::testing
