#include <gtest/gtest.h>

#include "base/Encoding.hpp"

namespace lumivox {
namespace {

struct RoundTrip {
    const char* utf8;
    const char* gbk;
};

void expectRoundTrips(std::initializer_list<RoundTrip> cases) {
    for (const RoundTrip& c : cases) {
        EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk) << c.utf8;
        EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8) << c.utf8;
    }
}

TEST(Encoding, RoundTripsGbk) {
    expectRoundTrips({
        {"", ""},
        {"abc", "abc"},
        {"\xE4\xBF\xA1\xE6\x81\xAF\xEF\xBC\x9A", "\xD0\xC5\xCF\xA2\xA3\xBA"},  // 信息：
        {"\xEF\xBF\xA5", "\xA3\xA4"},                                          // ￥
    });
}

// (On Windows these need code page 54936, which Wine lacks: the Wine run leaves
// out this test alone.)
TEST(Encoding, KeepsOtherCharactersAsFourByteSequences) {
    expectRoundTrips({
        {"\xF0\x9F\x98\x80", "\x94\x39\xFC\x36"},  // U+1F600
    });
}

// Bytes from the OS that are not UTF-8 (a Latin-1 home folder, a truncated or
// stray sequence) come back as the same bytes, whatever follows them.
TEST(Encoding, InvalidUtf8ComesBackAsTheSameBytes) {
    const std::string cases[] = {
        "a\xFF"
        "b",
        "/home/caf\xE9/.config",
        "\xE9\xA9/x",
        "\x80",
        "x\xE4\xBF",
        "\xC3(\xC3\xA9",
    };
    for (const std::string& os : cases) {
        const Text text = utf8ToGbk(os);
        EXPECT_EQ(gbkToUtf8(text), os) << os;
        EXPECT_EQ(gbkToUtf8(text + utf8ToGbk("/自定义配置.txt")), os + "/自定义配置.txt") << os;
    }
    // A lone byte travels as a four-byte sequence, so text scanning stays aligned.
    EXPECT_EQ(utf8ToGbk("a\xFF"
                        "b"),
              "a\x84\x39\x8D\x37"
              "b");
}

TEST(Encoding, UndecodableGbkIsMarkedOnTheWayOut) {
    EXPECT_EQ(gbkToUtf8("a\x81"), "a\xEF\xBF\xBD");
    EXPECT_EQ(gbkToUtf8("\x84\x39"),
              "\xEF\xBF\xBD"
              "9");
}

}  // namespace
}  // namespace lumivox
