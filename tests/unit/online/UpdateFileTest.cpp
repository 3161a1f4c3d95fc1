// The version file's fields, the base names an update may write, the command
// line that starts the new build, and the bounded read of the version file.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "base/TextOps.hpp"
#include "online/Update.hpp"
#include "online/VersionFile.hpp"
#include "platform/SystemOps.hpp"
#include "platform/Web.hpp"
#include "tests/support/TestSupport.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::online {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(VersionFile, FieldsAsTheCheckSplitsThem) {
    struct Case {
        std::string body;
        TextArray fields;
    };
    const Case cases[] = {
        {"", {}},
        {"<html><body>404 Not Found</body></html>", {"<html><body>404 Not Found</body></html>"}},
        {"1---http://h/a---", {"1", "http://h/a"}},  // the empty remainder is dropped
        {"1---http://h/a---Name", {"1", "http://h/a", "Name"}},
        {"1---http://h/a---Name\r\n", {"1", "http://h/a", "Name\r\n"}},
        {"1---u---n---sig---more", {"1", "u", "n", "sig", "more"}},
        {"------x", {"", "", "x"}},
        // A double-byte character whose second byte is "-" is no separator start.
        {"\xB0---x---y", {"\xB0---x", "y"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(versionFields(c.body), c.fields) << c.body;
    }
}

TEST(VersionFile, BaseNamesThatStayBesideTheProgram) {
    for (const char* good : {"Lumivox2", "a.b", "Lumivox-1.2_win", "CONSOLE", "com10", "nul_x",
                             "0123456789012345678901234567890123456789012345678901234567890123"}) {
        EXPECT_TRUE(isSafeBaseName(good)) << good;
    }
    for (const char* bad :
         {"", ".", "..", "...", ".hidden", "a/b", "../x", "a\\b", "x.", "/abs", "Name\r\n", "a\tb",
          "a\x7f", "x y", "新版本", "C:evil", "a:stream", "CON", "con.exe", "Nul", "com1",
          "LPT9.txt", "aux.tar.gz", "a*b", "a?b", "a\"b", "a<b", "a|b", "a%b",
          "01234567890123456789012345678901234567890123456789012345678901234"}) {
        EXPECT_FALSE(isSafeBaseName(bad)) << bad;
    }
}

TEST(VersionFile, OnlyALaterVersionMovesTheHost) {
    struct Case {
        const char* candidate;
        const char* current;
        bool newer;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"1.1", "1.0", true},
             {"1.10", "1.9", true},  // numbers, not text
             {"2", "1.9.9", true},
             {"1.0.1", "1", true},
             {"1.0", "1.0", false},  // sideways: a replayed line
             {"1.0.0", "1", false},
             {"0.9", "1.0", false},  // back
             {"1.a", "1.0", false},
             {"", "1.0", false},
             {"1..2", "1.0", false},
             {"1.2 ", "1.0", false},
             {"9999999999", "1.0", false},  // more than nine digits
         }) {
        EXPECT_EQ(isNewerVersion(c.candidate, c.current), c.newer)
            << c.candidate << " over " << c.current;
    }
}

// The new build is started through the program-start operation's splitting
// rules: its path comes back whole, whatever it holds.
TEST(CommandLine, StartsExactlyThatProgram) {
    testing::TempDir dir;
    for (const std::string folder : {"plain", "with space", "quote\"d", "back\\slash\\"}) {
        SCOPED_TRACE(folder);
        fs::create_directory(dir / folder);
        const fs::path program = dir / folder / "New";
        const fs::path marker = dir / "marker";
        std::ofstream(program) << "#!/bin/sh\necho \"$0\" > '" << marker.string() << "'\n";
        fs::permissions(program, fs::perms(0755));
        fs::remove(marker);
        ASSERT_TRUE(launchProgram(commandLineOf(program.string()), true, 1));
        std::ifstream in(marker);
        std::string started;
        std::getline(in, started);
        EXPECT_EQ(started, program.string());
    }
}

TEST(ReadHttpFile, BodyWhateverTheStatusAndBoundedWaits) {
    testing::TestWebSite site;
    testing::SiteReply cut;
    cut.body = std::string(100, 'x');
    cut.closeAfterBodyBytes = 5;  // a failed read keeps what came before it
    site.serve("/cut", cut);
    testing::SiteReply silent;
    silent.body = "late";
    silent.stall = 20s;  // accepts and does not answer
    site.serve("/silent", silent);

    const ByteData missing = platform::readHttpFile(site.url("/missing#fragment"));
    EXPECT_FALSE(missing.empty());                       // the 404 page comes back as data
    EXPECT_EQ(site.requestsFor("/missing").size(), 1u);  // "#..." is never sent
    EXPECT_EQ(platform::readHttpFile(site.url("/cut")), ByteData(5, 'x'));
    EXPECT_TRUE(platform::readHttpFile("").empty());

    const auto started = std::chrono::steady_clock::now();
    platform::HttpReadLimits limits;
    limits.silenceTimeoutMs = 1000;
    limits.totalTimeoutMs = 3000;
    EXPECT_TRUE(platform::readHttpFile(site.url("/silent"), limits).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(platform::readHttpFile("http://127.0.0.1:" +
                                       std::to_string(testing::unusedLoopbackPort()) + "/111.txt")
                    .empty());
}

}  // namespace
}  // namespace lumivox::online
