#include <gtest/gtest.h>

#include "util/Encoding.hpp"

namespace lumivox {
namespace {

TEST(Encoding, RoundTripsGbkAndKeepsOtherCharactersAsFourByteSequences) {
    struct Case {
        const char* utf8;
        const char* gbk;
    };
    const Case cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"\xE4\xBF\xA1\xE6\x81\xAF\xEF\xBC\x9A", "\xD0\xC5\xCF\xA2\xA3\xBA"},  // 信息：
        {"\xEF\xBF\xA5", "\xA3\xA4"},                                          // ￥
        {"\xF0\x9F\x98\x80", "\x94\x39\xFC\x36"},                              // U+1F600
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk) << c.utf8;
        EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8) << c.utf8;
    }
}

TEST(Encoding, InvalidInputLosesNothingOnTheWayInAndIsMarkedOnTheWayOut) {
    EXPECT_EQ(utf8ToGbk("a\xFF" "b"), "a\xFF" "b");
    EXPECT_EQ(gbkToUtf8("a\x81"), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace lumivox
