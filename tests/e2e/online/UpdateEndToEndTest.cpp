// The version check and the update, with the real program under a private X
// server: the check's failure box and end, the update window over a slow nginx
// download, the signed build started and the old program ended, and every way
// an update fails ending in the failure box with nothing started or lost.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "online/UpdateSignature.hpp"
#include "tests/e2e/online/OnlineProgram.hpp"
#include "tests/support/NginxServer.hpp"
#include "tests/support/TestWebSite.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kMain = "LumivoxV1.0";
const std::string kUpdate = "自动更新";
const std::string kCheckFailed = "信息：";  // the version check's box
const std::string kUpdateBox = "提示";      // the update's boxes

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A new build that records how it was started and ends; random bytes after its
// `exit` make it as large as asked.
std::string newBuild(const fs::path& marker, std::size_t size) {
    std::string build = "#!/bin/sh\necho \"$0\" > '" + marker.string() + "'\nexit 0\n";
    std::mt19937 random(7);
    while (build.size() < size)
        build += static_cast<char>('A' + random() % 26);
    return build;
}

// "version---url---name---signature" signed with the development key.
std::string versionFile(const std::string& version, const std::string& url, const std::string& name,
                        const std::string& build, const std::string& signedName) {
    const fs::path build_file =
        fs::temp_directory_path() / ("lumivox-build-" + std::to_string(getpid()));
    writeFile(build_file, build);
    const auto digest = online::fileSha256(build_file.string());
    fs::remove(build_file);
    const std::string pem = readFile(LUMIVOX_DEVELOPMENT_KEY_FILE);
    const auto signature = online::signUpdate(pem, *digest, signedName, version);
    return version + "---" + url + "---" + name + "---" + signature.value_or("");
}

// Blue pixels in the middle row of the update window's progress bar.
int barFill(OnlineProgram& program) {
    const WindowGeometry g = program.geometry(kUpdate);
    const QImage screen = program.screenshot();
    int count = 0;
    for (int x = g.x + 136; x < g.x + 432; ++x) {
        const QRgb pixel = screen.pixel(x, g.y + 19);
        count += qBlue(pixel) > 150 && qRed(pixel) < 120 ? 1 : 0;
    }
    return count;
}

TEST(VersionCheck, UnreadableFilesShowTheBoxAndEndTheProgram) {
    struct Case {
        const char* what;
        bool served;
        std::string body;
    };
    const Case cases[] = {
        {"a 404 page without separators", false, ""},
        {"two fields and a trailing separator", true, "1---http://127.0.0.1/x---"},
        {"an empty file", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestWebSite site;
        if (c.served) {
            SiteReply reply;
            reply.body = c.body;
            site.serve("/111.txt", reply);
        }
        OnlineProgram program;
        ASSERT_TRUE(program.displayOk());
        program.start(site.host());
        ASSERT_TRUE(program.waitForWindow(kCheckFailed, 60)) << program.log();
        // One plain GET of the version file, as the original platform sends it.
        const auto requests = site.requestsFor("/111.txt");
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0], "GET /111.txt HTTP/1.0\r\nHost: " + site.host() +
                                   "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows "
                                   "NT 5.0)\r\nAccept: */*\r\nPragma: no-cache\r\nCache-Control: "
                                   "no-cache\r\n\r\n");
        program.pressEnterIn(kCheckFailed);
        EXPECT_EQ(program.process().wait(30s), 0) << program.log();
    }
}

TEST(VersionCheck, AnotherVersionLetsTheProgramRunOn) {
    TestWebSite site;
    SiteReply reply;
    reply.body = "2---http://127.0.0.1/new---LumivoxNew---extra---fields";
    site.serve("/111.txt", reply);
    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    program.start(site.host());
    ASSERT_TRUE(program.waitForWindow(kMain, 60)) << program.log();
    ASSERT_TRUE(waitUntil([&] { return !site.requestsFor("/111.txt").empty(); }, 30s));
    std::this_thread::sleep_for(3s);
    EXPECT_FALSE(program.geometry(kCheckFailed).viewable);
    EXPECT_FALSE(program.geometry(kUpdate).viewable);
    EXPECT_TRUE(program.process().running());
    EXPECT_EQ(site.requestsFor("/new").size(), 0u);
}

// The six links hand their exact URLs to the desktop's opener (a recording
// stand-in here, first on PATH).
TEST(Links, OpenTheirPagesThroughTheDesktop) {
    TempDir bin;
    const fs::path opened = bin / "opened.txt";
    writeFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + opened.string() + "'\n");
    fs::permissions(bin / "xdg-open", fs::perms(0755));
    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    const std::string host = runOnVersionHost();
    program.start(host, {{"PATH", bin.path().string() + ":" + std::getenv("PATH")}});
    ASSERT_TRUE(program.waitForWindow(kMain, 60)) << program.log();
    std::this_thread::sleep_for(2s);  // past the version check
    struct Click {
        int left, top;
        const char* path;  // null: a tab that opens no page
    };
    const Click clicks[] = {
        {370, 94, "/forum.php?mod=forumdisplay&fid=44"},              // 特定按钮4
        {474, 94, "/forum.php?mod=viewthread&tid=1&extra=page%3D1"},  // 特定按钮5
        {578, 94, "/"},                                               // 特定按钮6
        {376, 480, "/"},                                              // 官方音按钮52
        {200, 512, "/forum.php?mod=forumdisplay&fid=54"},             // 透明标签2
        {58, 94, nullptr},                                     // 特定按钮1: the hotkey page
        {200, 148, "/forum.php?mod=viewthread&tid=3&extra="},  // 透明标签4
    };
    std::string expected;
    for (const Click& click : clicks) {
        program.click(kMain, click.left, click.top);
        if (click.path == nullptr) {
            std::this_thread::sleep_for(500ms);
            continue;
        }
        expected += "http://" + host + click.path + "\n";
        EXPECT_TRUE(waitUntil([&] { return readFile(opened) == expected; }, 20s))
            << readFile(opened) << program.log();
    }
    EXPECT_TRUE(program.process().running()) << program.log();
}

TEST(Update, DownloadsVerifiesStartsTheNewBuildAndEnds) {
    TempDir www;
    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    const fs::path marker = program.installFolder() / "started-by";
    const std::string build = newBuild(marker, 1536 * 1024);
    fs::create_directory(www / "download");
    writeFile(www / "download/new.bin", build);
    // Five connections of 64 KB/s: about five seconds, long enough to watch.
    NginxServer nginx(www.path(), "location /download/ { limit_rate 64k; }");
    ASSERT_TRUE(nginx.ok());
    const std::string host = "127.0.0.1:" + std::to_string(nginx.port());
    writeFile(www / "111.txt",
              versionFile("1", nginx.url("/download/new.bin"), "LumNew", build, "LumNew"));

    // An older file of that name stays; the download goes beside it under a new name.
    writeFile(program.installFolder() / "LumNew", "older");
    program.start(host);
    ASSERT_TRUE(program.waitForWindow(kUpdate, 60)) << program.log();
    const WindowGeometry main = program.geometry(kMain);
    const WindowGeometry update = program.geometry(kUpdate);
    EXPECT_EQ(update.x, main.x + 100);
    EXPECT_EQ(update.y, main.y + 480);
    EXPECT_EQ(update.width, 442);
    EXPECT_EQ(update.height, 59);
    // The bar moves while the file arrives.
    const int early = barFill(program);
    EXPECT_TRUE(waitUntil([&] { return barFill(program) > early + 20; }, 30s)) << early;

    ASSERT_TRUE(program.waitForWindow(kUpdateBox, 120)) << program.log();
    fs::path downloaded;
    for (const auto& entry : fs::directory_iterator(program.installFolder())) {
        const std::string name = entry.path().filename().string();
        if (name != "Lumivox" && name != "LumNew" && name != "started-by")
            downloaded = entry.path();
    }
    ASSERT_FALSE(downloaded.empty());
    EXPECT_EQ(readFile(downloaded), build);
    EXPECT_EQ(readFile(program.installFolder() / "LumNew"), "older");
    EXPECT_GT(barFill(program), 280);  // full
    EXPECT_FALSE(fs::exists(marker)) << "started before the host was told";
    program.pressEnterIn(kUpdateBox);
    EXPECT_EQ(program.process().wait(60s), 0) << program.log();
    EXPECT_EQ(readFile(marker), downloaded.string() + "\n");
    EXPECT_NE(fs::status(downloaded).permissions() & fs::perms::owner_exec, fs::perms::none);
}

// What the site does wrong, and what must come of it: the failure box, nothing
// started, nothing of the host's removed, and no file of the download left.
struct FailureCase {
    const char* name;
    enum Kind { BadSignature, Missing, UnsafeName, Dropped, UnwritableFolder } kind;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdateFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(UpdateFailure, EndsWithTheBoxAndStartsNothing) {
    const FailureCase& c = GetParam();
    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    const fs::path marker = program.installFolder() / "started-by";
    const std::string build = newBuild(marker, 64 * 1024);
    // An older file of the update's name: the host's, to be kept as it is.
    writeFile(program.installFolder() / "LumNew", "older");

    TestWebSite site;
    SiteReply file;
    file.body = build;
    std::string name = "LumNew", signedName = "LumNew";
    std::string target = "/new.bin";
    if (c.kind == FailureCase::BadSignature)
        signedName = "Other";  // a signature of another update
    if (c.kind == FailureCase::Missing)
        target = "/missing.bin";
    if (c.kind == FailureCase::UnsafeName)
        name = signedName = "LumNew\r\n";  // the version file's line break in field 3
    if (c.kind == FailureCase::Dropped)
        file.closeAfterBodyBytes = 0;  // every connection ends right after the header
    site.serve("/new.bin", file);
    SiteReply version;
    version.body = versionFile("1", site.url(target), name, build, signedName);
    if (c.kind == FailureCase::UnsafeName)
        version.body = "1---" + site.url(target) + "---" + name;  // ends in CR LF
    site.serve("/111.txt", version);

    std::vector<std::string> prefix;
    std::map<std::string, std::string> env;
    TempDir runtime;
    if (c.kind == FailureCase::UnwritableFolder && ::geteuid() == 0) {
        // The folder belongs to root: run the program as nobody, who may not write there.
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        ASSERT_EQ(::chown(runtime.path().c_str(), 65534, 65534), 0);
        env["XDG_RUNTIME_DIR"] = runtime.path().string();
    } else if (c.kind == FailureCase::UnwritableFolder) {
        fs::permissions(program.installFolder(), fs::perms(0555));
    }
    program.start(site.host(), env, prefix);
    if (c.kind != FailureCase::UnsafeName) {  // refused before the window shows
        ASSERT_TRUE(program.waitForWindow(kUpdate, 60)) << program.log();
    }
    // A dropped connection is retried; with no byte for half a minute it has failed.
    ASSERT_TRUE(program.waitForWindow(kUpdateBox, 120)) << program.log();
    program.pressEnterIn(kUpdateBox);
    EXPECT_EQ(program.process().wait(60s), 0) << program.log();
    fs::permissions(program.installFolder(), fs::perms(0755));
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(readFile(program.installFolder() / "LumNew"), "older");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(program.installFolder()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"LumNew", "Lumivox"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateFailure,
                         ::testing::Values(FailureCase{"BadSignature", FailureCase::BadSignature},
                                           FailureCase{"Missing", FailureCase::Missing},
                                           FailureCase{"UnsafeName", FailureCase::UnsafeName},
                                           FailureCase{"Dropped", FailureCase::Dropped},
                                           FailureCase{"UnwritableFolder",
                                                       FailureCase::UnwritableFolder}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivox::testing
