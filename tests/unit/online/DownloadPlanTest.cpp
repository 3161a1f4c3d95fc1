#include "online/DownloadPlan.hpp"

#include <gtest/gtest.h>

namespace lumivox::online {
namespace {

TEST(SegmentPlan, CountsLengthsAndOffsets) {
    struct Case {
        std::int64_t total;
        int connections;
        std::vector<std::pair<std::int64_t, std::int64_t>> segments;  // start, length
    };
    const Case cases[] = {
        {20479, 5, {{0, 20479}}},
        {20480, 5, {{0, 4096}, {4096, 4096}, {8192, 4096}, {12288, 4096}, {16384, 4096}}},
        {10, 4, {{0, 10}}},
        {100003, 4, {{0, 25000}, {25000, 25000}, {50000, 25000}, {75000, 25003}}},
        {50000, 0, {{0, 50000}}},
        {0, 5, {{0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total);
        std::vector<Segment> plan = planSegments(c.total, c.connections);
        ASSERT_EQ(plan.size(), c.segments.size());
        for (std::size_t i = 0; i < plan.size(); ++i) {
            EXPECT_EQ(plan[i].start, c.segments[i].first);
            EXPECT_EQ(plan[i].length, c.segments[i].second);
            EXPECT_EQ(plan[i].state, 0);
        }
    }
}

TEST(SegmentPlan, NewConnectionTakesAnIdleSegmentFirst) {
    std::vector<Segment> table = planSegments(100000, 4);
    table[0].state = 1;
    table[1].done = table[1].length;  // idle but complete
    EXPECT_EQ(chooseSegment(table), 2u);
    EXPECT_EQ(table.size(), 4u);
}

TEST(SegmentPlan, SplitsTheLargestRemainderInHalf) {
    std::vector<Segment> table(3);
    table[0] = {1, false, 1, 0, 100000, 90000};       // 10,000 left
    table[1] = {1, false, 2, 100000, 100000, 15001};  // 84,999 left: the largest
    table[2] = {1, false, 3, 200000, 100000, 15001};  // as large, but later
    auto chosen = chooseSegment(table);
    ASSERT_EQ(chosen, 3u);
    const Segment& old = table[1];
    const Segment& added = table[3];
    EXPECT_TRUE(old.split);
    EXPECT_EQ(old.left(), 42500);  // keeps the half rounded up
    EXPECT_EQ(added.length, 42499);
    EXPECT_EQ(added.start, old.start + old.length);  // no gap, no overlap
    EXPECT_EQ(added.start + added.length, 200000);
    EXPECT_EQ(added.state, 0);
    EXPECT_FALSE(table[2].split);
}

TEST(SegmentPlan, RemaindersBelowTwoBuffersAreNotSplit) {
    std::vector<Segment> table(1);
    table[0] = {1, false, 1, 0, 100000, 100000 - 40959};
    EXPECT_FALSE(chooseSegment(table).has_value());
    table[0].done -= 1;  // 40,960 left
    EXPECT_TRUE(chooseSegment(table).has_value());
}

TEST(SameName, AutomaticRenaming) {
    const std::pair<const char*, const char*> cases[] = {
        {"/d/a.exe", "/d/a(1).exe"},
        {"/d/a(1).exe", "/d/a(2).exe"},
        {"/d/a(98).exe", "/d/a(99).exe"},
        {"a", "a(1)"},
        {"/d/a(1)", "/d/a(2)"},
        {"/d.x/a.tar.gz", "/d.x/a(1).tar.gz"},
        {"/d/a(123).exe", "/d/a(123)(1).exe"},
        {"/d/a(x).exe", "/d/a(1).exe"},
        {"/d/(7).exe", "/d/(8).exe"},
    };
    for (const auto& [path, next] : cases) {
        EXPECT_EQ(nextRenameCandidate(path), std::optional<Text>(next)) << path;
    }
    EXPECT_FALSE(nextRenameCandidate("/d/a(99).exe").has_value());
    EXPECT_FALSE(nextRenameCandidate("/" + std::string(255, 'n') + ".e").has_value());
    EXPECT_TRUE(nextRenameCandidate("/" + std::string(250, 'n') + ".e").has_value());
}

TEST(SameName, FileNameFromUrlPath) {
    EXPECT_EQ(fileNameFromUrlPath("/dir/my%20file.exe"), "my file.exe");
    EXPECT_EQ(fileNameFromUrlPath("/a%2"), "a%2");
    EXPECT_EQ(fileNameFromUrlPath("/%zz%41"), "%zzA");
    EXPECT_EQ(fileNameFromUrlPath("/dir/"), "");
    EXPECT_EQ(fileNameFromUrlPath("/x/..%2F..%2Fetc%2fpasswd"), ".._.._etc_passwd");
    EXPECT_EQ(fileNameFromUrlPath("/x/a%00b"), "a_b");
    EXPECT_EQ(fileNameFromUrlPath(std::string("/x/a\0b.exe", 10)), "a_b.exe");
}

}  // namespace
}  // namespace lumivox::online
