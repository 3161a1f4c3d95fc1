#include <gtest/gtest.h>

#include "base/TextOps.hpp"

namespace lumivox {
namespace {

// GBK bytes used below: 中 = D6 D0, 信 = D0 C5, ideographic space = A1 A1,
// and a character whose trail byte is 0x5C (a backslash), 亍 = 81 5C.
const std::string kZhong = "\xD6\xD0";
const std::string kTrailBackslash = "\x81\x5C";
const std::string kIdeoSpace = "\xA1\xA1";
const std::string kSep = "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%";  // the settings separator

TEST(TextOps, CountsBytesUpToTheTerminatorAndCutsFromTheRight) {
    EXPECT_EQ(textByteCount(""), 0);
    EXPECT_EQ(textByteCount("a" + kZhong), 3);
    EXPECT_EQ(textByteCount(std::string("ab\0cd", 5)), 2);
    struct Case {
        int n;
        std::string expected;
    };
    const std::string text = "ab" + kZhong;
    for (const Case& c : {Case{-1, ""}, Case{0, ""}, Case{1, "\xD0"}, Case{2, kZhong},
                          Case{4, text}, Case{5, text}}) {
        EXPECT_EQ(rightPart(text, c.n), c.expected) << c.n;
    }
}

TEST(TextOps, FindLastTextOnlyMatchesAtCharacterStarts) {
    struct Case {
        std::string text, search;
        int expected;
    };
    const Case cases[] = {
        {"ab\\defgh\\ij", "\\", 9},        // backslashes at bytes 3 and 9
        {"abcdef", "\\", -1},
        {"a" + kTrailBackslash + "b", "\\", -1},  // a trail byte 0x5C is no backslash
        {kTrailBackslash + "\\x", "\\", 3},
        {"abab", "ab", 3},
        {"aaa", "aa", 2},
        {"ab", "abc", -1},
        {"ABC", "abc", -1},                // case-sensitive
        {"abc", "", 1},
        {"", "", -1},
        {"", "a", -1},
        {"a\xD6", "\xD6", -1},             // a lone lead byte at the end ends the scan
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findLastText(c.text, c.search), c.expected) << c.text << " / " << c.search;
    }
}

TEST(TextOps, SplitKeepsInnerAndLeadingEmptyFieldsButNoTrailingOne) {
    struct Case {
        std::string text, separator;
        TextArray expected;
    };
    const Case cases[] = {
        {"a" + kSep + kSep + "b" + kSep, kSep, {"a", "", "b"}},
        {kSep + "a", kSep, {"", "a"}},
        {"", kSep, {}},
        {"no separator", kSep, {"no separator"}},
        {"a,b", "", {"a,b"}},
        {kSep, kSep, {""}},
        {"x,y,,", ",", {"x", "y", ""}},
        {"A,a", "a", {"A,"}},                          // case-sensitive
        {kTrailBackslash + "\\z", "\\", {kTrailBackslash, "z"}},  // no match on a trail byte
        {kZhong + kSep + kZhong, kSep, {kZhong, kZhong}},
        {"ab,\xD6", ",", {"ab", "\xD6"}},              // rest kept though the scan ended early
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitText(c.text, c.separator), c.expected) << c.text;
    }
}

TEST(TextOps, TrimSpacesCutsAsciiAndIdeographicSpacesOnly) {
    struct Case {
        std::string text, expected;
    };
    const Case cases[] = {
        {kIdeoSpace + " \ta b" + kIdeoSpace + " ", "\ta b"},
        {"   ", ""},
        {kIdeoSpace + kIdeoSpace, ""},
        {"", ""},
        {"x\n", "x\n"},
        {"\xA1" "\xA1" "\xB0\xA1" " ", "\xB0\xA1"},     // a trail byte A1 is not half a space
        {"ab  \xD6", "ab  "},                          // lone lead byte cut, spaces before it stay
        {kZhong + " ", kZhong},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trimSpaces(c.text), c.expected) << c.text;
    }
}

TEST(TextOps, ValueToTextFormatsBytesIntegersAndReals) {
    const ByteData withNul = {'a', 'b', 0, 'c'};
    EXPECT_EQ(valueToText(ByteView(withNul)), "ab");
    EXPECT_EQ(valueToText(ByteView(ByteData{})), "");
    EXPECT_EQ(valueToText(std::int32_t{-2147483647 - 1}), "-2147483648");
    EXPECT_EQ(valueToText(std::int32_t{42}), "42");
    EXPECT_EQ(valueToText(1.5), "1.5");
    EXPECT_EQ(valueToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(valueToText(1234.56), "1234.56");
    EXPECT_EQ(valueToText(1e20), "1e+20");
}

TEST(TextOps, BytesJoinAndEquality) {
    EXPECT_EQ(textToBytes("ab"), (ByteData{'a', 'b'}));
    EXPECT_TRUE(textToBytes("").empty());
    EXPECT_EQ(joinTexts("a", Text(), kZhong, "b"), "a" + kZhong + "b");
    EXPECT_TRUE(textsEqual("", std::string()));
    EXPECT_FALSE(textsEqual("a", "A"));
    EXPECT_TRUE(textsEqual(kZhong, kZhong));
}

TEST(TextOps, RoundHalfAwayFromZeroWithTheNudge) {
    struct Case {
        double x;
        int digits;
        double expected;
    };
    const Case cases[] = {
        {1.005, 2, 1.01}, {-2.5, 0, -3},   {2.5, 0, 3},       {2.4999, 0, 2},
        {1250, -2, 1300}, {-1249, -2, -1200}, {0, 3, 0},      {123.456, 1, 123.5},
        {-0.125, 2, -0.13}, {1023.994, 2, 1023.99},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(roundHalfAway(c.x, c.digits), c.expected) << c.x << " @ " << c.digits;
    }
}

}  // namespace
}  // namespace lumivox
