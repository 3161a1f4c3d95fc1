// The task's own stall limit: a task that receives no byte at all for that long
// stops itself and ends, whoever watches it; one whose bytes keep coming, however
// slowly, is never stopped by it.
#include <gtest/gtest.h>

#include <chrono>

#include "online/Download.hpp"
#include "tests/e2e/online/DownloadRecorder.hpp"
#include "tests/support/TestSupport.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::online {
namespace {

using namespace std::chrono_literals;
using lumivox::testing::SiteReply;

struct StallCase {
    const char* name;
    SiteReply reply;
    bool completes;  // else the task stops itself with nothing
};

void PrintTo(const StallCase& c, std::ostream* out) {
    *out << c.name;
}

SiteReply dropsEveryConnection() {
    SiteReply reply;
    reply.body = std::string(50000, 'd');
    reply.closeAfterBodyBytes = 0;  // the headers, then the connection closes
    return reply;
}

SiteReply slowButMoving() {
    SiteReply reply;
    reply.body = std::string(12000, 's');
    reply.slowChunkBytes = 1000;
    reply.slowChunkDelay = 400ms;  // about five seconds in all, never two silent
    return reply;
}

class StallLimit : public ::testing::TestWithParam<StallCase> {};

TEST_P(StallLimit, BelongsToTheTask) {
    const StallCase& c = GetParam();
    lumivox::testing::TestWebSite site;
    lumivox::testing::TempDir dir;
    site.serve("/file", c.reply);
    DownloadRecorder recorder;
    Download download;
    TaskParam p;
    p.url = site.url("/file");
    p.localFile = utf8ToGbk((dir.path() / "file.bin").string());
    p.connectionCount = 1;
    p.receiveTimeout = 2000;
    p.stallLimit = 2000;
    recorder.attach(p);
    ASSERT_TRUE(download.startTask(p));
    // Without the limit the dropped connections would be retried every 5 s, 999
    // times over.
    ASSERT_TRUE(recorder.waitForEnd(30s)) << recorder.allMessages();
    const auto events = recorder.events();
    ASSERT_EQ(events.back().code, DownloadEvent::kTaskEnded);
    if (c.completes) {
        EXPECT_EQ(events.back().value, static_cast<std::int64_t>(c.reply.body.size()));
        EXPECT_EQ(lumivox::testing::wholeFile(dir.path() / "file.bin"), c.reply.body);
    } else {
        EXPECT_EQ(events.back().value, 0);
        EXPECT_GE(site.requestsFor("/file").size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Download, StallLimit,
    ::testing::Values(StallCase{"DroppedConnectionsEndTheTask", dropsEveryConnection(), false},
                      StallCase{"SlowButMovingCompletes", slowButMoving(), true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivox::online
