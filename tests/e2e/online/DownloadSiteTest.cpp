// The engine against the scriptable loopback web site: exact request bytes,
// redirects, servers that misbehave, retries, stops and same-name handling.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "online/Download.hpp"
#include "tests/e2e/online/DownloadRecorder.hpp"
#include "tests/support/TestSupport.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::online {
namespace {

using namespace std::chrono_literals;
using lumivox::testing::SiteReply;
namespace fs = std::filesystem;

std::string expectedRequest(const std::string& target, const std::string& host,
                            const std::string& referer, const std::string& extra) {
    return "GET " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nAccept: */*\r\nReferer: " + referer +
           "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n" + extra +
           "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
}

// Sends a body in pieces, so that every connection is still busy when the next starts.
SiteReply slowFile(const std::string& body) {
    SiteReply reply;
    reply.body = body;
    reply.slowChunkBytes = 5000;
    reply.slowChunkDelay = 50ms;
    return reply;
}

class SiteDownload : public ::testing::Test {
  protected:
    TaskParam param(const std::string& target, const std::string& file, int connections) {
        TaskParam p;
        p.url = site.url(target);
        p.localFile = utf8ToGbk((dir.path() / file).string() + (file.empty() ? "/" : ""));
        p.connectionCount = connections;
        p.connectTimeout = 2000;
        p.sendTimeout = 2000;
        p.receiveTimeout = 2000;
        recorder.attach(p);
        return p;
    }
    void run(const TaskParam& p, std::chrono::milliseconds limit = 30s) {
        ASSERT_TRUE(download.startTask(p));
        ASSERT_TRUE(recorder.waitForEnd(limit)) << recorder.allMessages();
        ASSERT_EQ(recorder.events().back().code, DownloadEvent::kTaskEnded);
    }
    // One more download of `name` served with `reply`, over two connections, with
    // a recorder of its own.
    void runAlone(const std::string& name, const SiteReply& reply, DownloadRecorder& record) {
        site.serve("/" + name, reply);
        Download one;
        TaskParam p = param("/" + name, name, 2);
        record.attach(p);
        ASSERT_TRUE(one.startTask(p));
        ASSERT_TRUE(record.waitForEnd(10s));
    }
    std::string address() const { return "[127.0.0.1:" + std::to_string(site.port()) + "]"; }
    std::string path(const std::string& name) const { return (dir.path() / name).string(); }

    lumivox::testing::TestWebSite site;
    lumivox::testing::TempDir dir;
    DownloadRecorder recorder;  // outlives the download, whose end it records
    Download download;
};

TEST_F(SiteDownload, SegmentsOverSeveralConnectionsWithExactRequests) {
    const std::string body = patternBytes(60001);
    site.serve("/my%20file.bin", slowFile(body));
    run(param("/my file.bin", "out.bin", 3));

    EXPECT_EQ(readFile(path("out.bin")), body);
    const std::string referer = "http://" + site.host();
    auto requests = site.requestsFor("/my%20file.bin");
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], expectedRequest("/my%20file.bin", site.host(), referer, ""));
    std::vector<std::string> ranged(requests.begin() + 1, requests.end());
    std::sort(ranged.begin(), ranged.end());
    EXPECT_EQ(ranged[0],
              expectedRequest("/my%20file.bin", site.host(), referer, "Range: bytes=20000-\r\n"));
    EXPECT_EQ(ranged[1],
              expectedRequest("/my%20file.bin", site.host(), referer, "Range: bytes=40000-\r\n"));

    EXPECT_EQ(recorder.count(DownloadEvent::kThreadStarted), 3);
    EXPECT_EQ(recorder.count(DownloadEvent::kFirstSegment), 3);
    EXPECT_EQ(recorder.count(DownloadEvent::kThreadEnded), 3);
    EXPECT_EQ(recorder.count(DownloadEvent::kThreadFailed), 0);
    std::int64_t received = 0, ends = 0;
    for (const auto& e : recorder.events()) {
        if (e.code == DownloadEvent::kLengthKnown) {
            EXPECT_EQ(e.value, 60001);
            EXPECT_EQ(e.path, path("out.bin"));
        }
        if (e.code == DownloadEvent::kReceived)
            received += e.value;
        if (e.code == DownloadEvent::kThreadEnded)
            ends += e.value;
    }
    EXPECT_EQ(recorder.count(DownloadEvent::kLengthKnown), 1);
    EXPECT_EQ(received, 60001);
    EXPECT_EQ(ends, 20000 + 40000 + 60001);  // each thread reached its segment's end
    EXPECT_EQ(recorder.events().back().value, 60001);

    // The host text has a port, so it is not taken as a dotted address.
    EXPECT_TRUE(recorder.logged(0, "正在解析域名 [127.0.0.1]"));
    EXPECT_TRUE(recorder.logged(0, "连接 " + address() + "成功"));
    EXPECT_TRUE(recorder.logged(0, "连接" + address() + "成功"));
    EXPECT_TRUE(recorder.logged(1, requests[0]));
    for (const auto& stamp : recorder.stamps()) {
        EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
            << stamp;
    }
    EXPECT_FALSE(download.busy());
    EXPECT_EQ(download.downloadedBytes(), 0);
}

TEST_F(SiteDownload, RedirectToABareNameStaysInTheFolderAndSendsTheCookie) {
    SiteReply moved;
    moved.status = 302;
    moved.headers = {"Location: b.exe", "Set-Cookie: id=7; path=/"};
    site.serve("/dir/a.exe", moved);
    const std::string body = patternBytes(30000, 2);
    site.serve("/dir/b.exe", slowFile(body));
    run(param("/dir/a.exe", "b.exe", 2));

    EXPECT_EQ(readFile(path("b.exe")), body);
    const std::string host = site.host();
    auto first = site.requestsFor("/dir/a.exe");
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], expectedRequest("/dir/a.exe", host, "http://" + host + "/dir", ""));
    auto second = site.requestsFor("/dir/b.exe");
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0], expectedRequest("/dir/b.exe", host, "http://" + host, "Cookie: id=7\r\n"));
    // The cookie stays with the redirected request; a segment request drops it.
    EXPECT_EQ(second[1],
              expectedRequest("/dir/b.exe", host, "http://" + host, "Range: bytes=15000-\r\n"));
    EXPECT_TRUE(recorder.logged(3, "重定向到 [b.exe]"));
}

TEST_F(SiteDownload, RedirectsEndAfterTwenty) {
    SiteReply loop;
    loop.status = 302;
    loop.headers = {"Location: loop"};
    site.serve("/loop", loop);
    run(param("/loop", "x.bin", 1));
    EXPECT_EQ(site.requestsFor("/loop").size(), 20u);
    EXPECT_TRUE(recorder.logged(3, "COOKIE过长或获得重定向信息错误或不支持的协议"));
    EXPECT_EQ(recorder.count(DownloadEvent::kThreadFailed), 1);
}

TEST_F(SiteDownload, FinalFailuresEndTheTaskAtOnce) {
    struct Case {
        const char* name;
        SiteReply reply;
        const char* message;
    };
    SiteReply noLength;
    noLength.body = "some bytes";
    noLength.contentLength = false;
    SiteReply empty;
    SiteReply missing;
    missing.status = 404;
    SiteReply teapot;
    teapot.status = 418;
    SiteReply movedNowhere;
    movedNowhere.status = 301;
    const Case cases[] = {
        {"no-length", noLength, "无法获得文件大小"},
        {"empty", empty, "创建文件错误，超出最大支持下载长度或磁盘是可写或磁盘没有空间"},
        {"missing", missing, "出现错误"},
        {"teapot", teapot, "暂时不支持的返回, 返回号[418]"},
        {"moved-nowhere", movedNowhere, "获得重定向信息错误"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        site.serve(std::string("/") + c.name, c.reply);
        DownloadRecorder record;
        Download one;
        TaskParam p = param(std::string("/") + c.name, c.name, 4);
        record.attach(p);
        ASSERT_TRUE(one.startTask(p));
        ASSERT_TRUE(record.waitForEnd(10s));
        EXPECT_TRUE(record.logged(3, c.message)) << record.allMessages();
        // At once: one request, no second connection and no wait to retry.
        EXPECT_EQ(site.requestsFor(std::string("/") + c.name).size(), 1u);
        std::vector<int> codes;
        for (const auto& e : record.events())
            codes.push_back(e.code);
        EXPECT_EQ(codes, (std::vector<int>{5, 9, 4}));
        EXPECT_FALSE(fs::exists(path(c.name)));
        EXPECT_EQ(record.timesLogged("等待5秒后重试"), 0);
    }
}

// Answers to the second segment's range request that do not fit: a server that
// ignores ranges (200 with the whole file), a 206 for another range than the one
// asked, a 200 from the file's start with no length to compare, and a file that
// changed on the server between the first request and the segment's (another
// total). The segment fails and stays zero, never mixed in; the first is kept.
TEST_F(SiteDownload, SegmentAnswersThatDoNotFitAreRefusedAndStayZero) {
    const std::string body = patternBytes(50000, 3);
    SiteReply ignored = slowFile(body);
    ignored.honourRanges = false;
    SiteReply shifted = slowFile(body);
    shifted.rangeShift = 100;
    SiteReply wholeWithoutLength = slowFile(body);
    wholeWithoutLength.honourRanges = false;
    wholeWithoutLength.rangeContentLength = false;
    SiteReply changed = slowFile(body);
    changed.rangeTotalShift = 1;
    const struct {
        const char* name;
        SiteReply reply;
        const char* message;
    } cases[] = {
        {"ignored", ignored, "出现错误"},
        {"shifted", shifted, "出现错误"},
        {"whole", wholeWithoutLength, "出现错误"},
        {"changed", changed, "服务器上的文件已改变"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRecorder record;
        ASSERT_NO_FATAL_FAILURE(runAlone(c.name, c.reply, record));
        const std::string got = readFile(path(c.name));
        ASSERT_EQ(got.size(), body.size());
        EXPECT_EQ(got.substr(0, 25000), body.substr(0, 25000));
        EXPECT_EQ(got.substr(25000), std::string(25000, '\0'));
        EXPECT_TRUE(record.logged(3, c.message)) << record.allMessages();
        EXPECT_GE(record.count(DownloadEvent::kThreadFailed), 1);
        EXPECT_EQ(record.events().back().code, DownloadEvent::kTaskEnded);
        EXPECT_EQ(record.events().back().value, 50000);
    }
}

// Header names match at the start of a line, in any case.
TEST_F(SiteDownload, HeaderNamesMatchAtLineStartsInAnyCase) {
    const std::string body = patternBytes(30000, 4);
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"lower", {"content-length: 30000"}},
        {"upper", {"CONTENT-LENGTH:30000"}},
        {"prefixed", {"X-Content-Length: 5", "Content-Length: 30000"}},
    };
    for (const auto& [name, headers] : cases) {
        SCOPED_TRACE(name);
        SiteReply reply = slowFile(body);
        reply.contentLength = false;
        reply.headers = headers;
        DownloadRecorder record;
        ASSERT_NO_FATAL_FAILURE(runAlone(name, reply, record));
        EXPECT_EQ(record.count(DownloadEvent::kThreadFailed), 0) << record.allMessages();
        EXPECT_EQ(readFile(path(name)), body);
    }
}

TEST_F(SiteDownload, UnreachablePortIsRetriedUntilStopped) {
    const int port = lumivox::testing::unusedLoopbackPort();
    TaskParam p = param("/x", "x.bin", 1);
    p.url = "http://127.0.0.1:" + std::to_string(port) + "/x";
    ASSERT_TRUE(download.startTask(p));
    EXPECT_FALSE(download.startTask(p));  // one task at a time
    ASSERT_TRUE(
        lumivox::testing::waitUntil([&] { return recorder.timesLogged("等待5秒后重试") > 0; }, 5s));
    const std::string where = "[127.0.0.1:" + std::to_string(port) + "]";
    EXPECT_TRUE(recorder.logged(0, "正在连接 " + where));
    EXPECT_TRUE(recorder.logged(3, "连接 " + where + "失败"));
    EXPECT_TRUE(recorder.logged(0, "等待5秒后重试"));

    // The stop ends the five-second wait: the task ends without trying again.
    download.stopTask();
    EXPECT_TRUE(recorder.waitForEnd(30s));
    EXPECT_EQ(recorder.timesLogged("正在连接 " + where), 1);
    EXPECT_FALSE(download.busy());
    EXPECT_EQ(recorder.events().back().code, DownloadEvent::kTaskEnded);
    EXPECT_EQ(recorder.events().back().value, 0);
    EXPECT_EQ(recorder.timesLogged("等待5秒后重试"), 1);
}

TEST_F(SiteDownload, ConnectionClosedInTheMiddleIsRetriedFromItsPosition) {
    const std::string body = patternBytes(60000, 4);
    SiteReply reply = slowFile(body);
    reply.closeAfterBodyBytes = 10000;
    reply.closeTimes = 1;  // only the first request is cut short
    site.serve("/c", reply);
    run(param("/c", "c.bin", 2));

    EXPECT_EQ(readFile(path("c.bin")), body);
    EXPECT_TRUE(recorder.logged(0, "等待5秒后重试"));
    EXPECT_EQ(recorder.count(DownloadEvent::kThreadFailed), 0);
    EXPECT_EQ(recorder.count(DownloadEvent::kThreadEnded), 2);
    const std::string referer = "http://" + site.host();
    auto requests = site.requestsFor("/c");
    EXPECT_NE(std::find(requests.begin(), requests.end(),
                        expectedRequest("/c", site.host(), referer, "Range: bytes=10000-\r\n")),
              requests.end());
}

TEST_F(SiteDownload, SilenceCountsNotSlowness) {
    const std::string body = patternBytes(20000, 5);
    SiteReply reply;
    reply.body = body;
    reply.stall = 2000ms;
    reply.stallTimes = 1;  // the first answer stalls past the time-out
    reply.slowChunkBytes = 2000;
    reply.slowChunkDelay = 150ms;  // later ones trickle, each piece within it
    site.serve("/s", reply);
    TaskParam p = param("/s", "s.bin", 1);
    p.receiveTimeout = 500;
    run(p);
    EXPECT_EQ(readFile(path("s.bin")), body);
    EXPECT_TRUE(recorder.logged(3, "接收数据超时"));
    EXPECT_EQ(recorder.timesLogged("等待5秒后重试"), 1);
    EXPECT_EQ(recorder.count(DownloadEvent::kThreadFailed), 0);
}

TEST_F(SiteDownload, StopDuringTheTransferKeepsWhatArrived) {
    SiteReply reply;
    reply.body = patternBytes(400000, 6);
    reply.slowChunkBytes = 1000;
    reply.slowChunkDelay = 20ms;
    site.serve("/slow", reply);
    TaskParam p = param("/slow", "slow.bin", 1);
    ASSERT_TRUE(download.startTask(p));
    ASSERT_TRUE(
        lumivox::testing::waitUntil([&] { return download.downloadedBytes() >= 5000; }, 10s));
    EXPECT_GT(download.takeReceivedCount(), 0);
    download.stopTask();
    ASSERT_TRUE(recorder.waitForEnd(2s));
    const auto events = recorder.events();
    const std::int64_t kept = events.back().value;
    EXPECT_GE(kept, 5000);
    EXPECT_LT(kept, 400000);
    EXPECT_EQ(download.downloadedBytes(), 0);
    EXPECT_EQ(download.takeReceivedCount(), 0);
    // What arrived was written where it belongs.
    const std::string got = readFile(path("slow.bin"));
    EXPECT_EQ(got.substr(0, 4000), reply.body.substr(0, 4000));
}

TEST_F(SiteDownload, SameNameIsRenamedAbandonedOrTakenFromTheCallback) {
    struct Case {
        const char* name;
        int answer;
        std::vector<std::string> existing;
        const char* stored;  // nullptr: nothing stored
        const char* message;
    };
    const Case cases[] = {
        {"a.exe", 0, {"a.exe"}, "a(1).exe", "发现同名文件, 系统自动更名为"},
        {"b.exe", 0, {"b.exe", "b(1).exe"}, "b(2).exe", "发现同名文件, 系统自动更名为"},
        {"c", 0, {"c"}, "c(1)", "发现同名文件, 系统自动更名为"},
        {"d.exe", 1, {"d.exe"}, nullptr, "发现同名文件, 用户选择放弃下载"},
        {"e.exe", 2, {"e.exe"}, "chosen.exe", "发现同名文件, 用户更名为"},
        {"f.exe", 7, {"f.exe"}, nullptr, nullptr},
    };
    const std::string body = patternBytes(3000, 7);
    SiteReply reply;
    reply.body = body;
    site.serve("/n", reply);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& name : c.existing)
            std::ofstream(path(name)) << "old " << name;
        DownloadRecorder record;
        record.sameNameAnswer = c.answer;
        record.renameTo = path("chosen.exe");
        Download one;
        TaskParam p = param("/n", c.name, 1);
        record.attach(p);
        ASSERT_TRUE(one.startTask(p));
        ASSERT_TRUE(record.waitForEnd(10s));
        for (const auto& name : c.existing)
            EXPECT_EQ(readFile(path(name)), "old " + name);
        EXPECT_EQ(record.count(DownloadEvent::kSameName), 1);
        if (c.stored) {
            EXPECT_EQ(readFile(path(c.stored)), body);
            EXPECT_TRUE(record.logged(0, std::string(c.message) + path(c.stored)))
                << record.allMessages();
            EXPECT_EQ(record.count(DownloadEvent::kThreadEnded), 1);
        } else {
            EXPECT_EQ(record.count(DownloadEvent::kThreadFailed), 1);
            if (c.message) {
                EXPECT_TRUE(record.logged(0, c.message)) << record.allMessages();
            }
        }
    }
    EXPECT_FALSE(fs::exists(path("d(1).exe")));
    EXPECT_FALSE(fs::exists(path("f(1).exe")));
}

TEST_F(SiteDownload, FolderTargetTakesTheNameFromTheUrlOrTheServer) {
    SiteReply plain;
    plain.body = "plain";
    site.serve("/x/my%20doc.bin", plain);
    SiteReply named;
    named.body = "named";
    named.headers = {"Content-Disposition: attachment; filename=\"named.bin\""};
    site.serve("/y/get", named);
    for (const auto& [target, stored, content] :
         {std::tuple{"/x/my doc.bin", "my doc.bin", "plain"},
          std::tuple{"/y/get", "named.bin", "named"}}) {
        DownloadRecorder record;
        Download one;
        TaskParam p = param(target, "", 1);
        record.attach(p);
        ASSERT_TRUE(one.startTask(p));
        ASSERT_TRUE(record.waitForEnd(10s));
        EXPECT_EQ(readFile(path(stored)), content) << record.allMessages();
    }
}

TEST_F(SiteDownload, SpeedLimitSpreadsTheReceivesOverSeconds) {
    const std::string body = patternBytes(20000, 8);
    SiteReply reply;
    reply.body = body;
    site.serve("/limited", reply);
    TaskParam p = param("/limited", "limited.bin", 1);
    p.speedLimit = 8000;  // three receive cycles of at most 8,000 bytes, one a second
    auto started = std::chrono::steady_clock::now();
    run(p);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(readFile(path("limited.bin")), body);
    for (const auto& e : recorder.events()) {
        if (e.code == DownloadEvent::kReceived) {
            EXPECT_LE(e.value, 8000);
        }
    }
}

// The end callback may wait for the very thread that lets go of the object (the
// program ending from that callback waits for the GUI thread, which frees it):
// the destructor's wait for that callback is bounded.
TEST_F(SiteDownload, EndCallbackWaitingForTheOwnerDoesNotHoldItsRelease) {
    SiteReply reply;
    reply.body = "small";
    site.serve("/small", reply);
    TaskParam p = param("/small", "small.bin", 1);
    // Shared with the callback, which may still be signalling after the test goes on.
    struct Signals {
        Event inEnd, released, left;
    };
    auto signals = std::make_shared<Signals>();
    p.eventCallback = [signals](int code, Download*, std::int64_t, std::int64_t, Text&) {
        if (code == DownloadEvent::kTaskEnded) {
            signals->inEnd.set();
            signals->released.waitFor(60s);
            signals->left.set();
        }
        return 0;
    };
    auto owner = std::make_unique<Download>();
    ASSERT_TRUE(owner->startTask(p));
    ASSERT_TRUE(signals->inEnd.waitFor(10s));
    owner.reset();
    // Released while the callback still waits (it waits a minute for this).
    EXPECT_FALSE(signals->left.waitFor(0ms)) << "the release waited for the end callback";
    signals->released.set();
    EXPECT_TRUE(signals->left.waitFor(10s));
    EXPECT_EQ(readFile(path("small.bin")), "small");
}

// The limit is the task's, whatever it is: one connection gets all of it, not a
// fixed amount per receive cycle.
TEST_F(SiteDownload, SpeedLimitAboveOneBufferASecondIsReached) {
    const std::string body = patternBytes(4000000, 3);
    SiteReply reply;
    reply.body = body;
    site.serve("/fast", reply);
    TaskParam p = param("/fast", "fast.bin", 1);
    p.speedLimit = 2000000;
    auto started = std::chrono::steady_clock::now();
    // About two seconds at the limit; held to one 20 KB buffer a second it would
    // take over three minutes, far past this bound.
    run(p, 60s);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1500ms);  // held to the limit
    EXPECT_EQ(readFile(path("fast.bin")), body);
}

// A dotted address without a port is used as it is (no name resolution) on port 80
// (with a port, the host is resolved like a name). Needs port 80: where it cannot
// be bound, this case (a CTest case of its own) skips.
TEST(DottedAddress, IsConnectedWithoutResolution) {
    std::unique_ptr<lumivox::testing::TestWebSite> site;
    try {
        site = std::make_unique<lumivox::testing::TestWebSite>("127.45.0.4", 80);
    } catch (const std::exception&) {
        GTEST_SKIP() << "port 80 of 127.45.0.4 cannot be bound here";
    }
    SiteReply reply;
    reply.body = "dotted";
    site->serve("/d/x.bin", reply);
    lumivox::testing::TempDir dir;
    DownloadRecorder recorder;
    Download download;
    TaskParam p;
    p.url = "http://127.45.0.4/d/x.bin";
    p.localFile = (dir.path() / "x.bin").string();
    recorder.attach(p);
    ASSERT_TRUE(download.startTask(p));
    ASSERT_TRUE(recorder.waitForEnd(10s));
    EXPECT_EQ(readFile((dir.path() / "x.bin").string()), "dotted");
    auto requests = site->requestsFor("/d/x.bin");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], expectedRequest("/d/x.bin", "127.45.0.4", "http://127.45.0.4/d", ""));
    for (const auto& m : recorder.messages()) {
        EXPECT_EQ(m.text.find("正在解析域名"), std::string::npos) << m.text;
    }
    EXPECT_TRUE(recorder.logged(0, "连接 [127.45.0.4:80]成功"));
}

TEST(DownloadStart, RefusesWhatItCannotFetch) {
    Download download;
    TaskParam param;
    for (const char* url : {"http://host-without-path", "ftp://files/x.zip", "gopher://x/y", ""}) {
        param.url = url;
        EXPECT_FALSE(download.startTask(param)) << url;
    }
    EXPECT_FALSE(download.busy());
    EXPECT_EQ(download.takeReceivedCount(), 0);
    EXPECT_EQ(download.downloadedBytes(), 0);
    download.stopTask();  // nothing to stop
}

}  // namespace
}  // namespace lumivox::online
