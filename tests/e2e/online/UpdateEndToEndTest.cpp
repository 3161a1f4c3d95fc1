// The version check and the update, with the real program under a private X
// server: the check's failure box and end, the update window over a slow nginx
// download, the signed build started and the old program ended, and every way
// an update fails ending in the failure box with nothing started or lost.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>

#include <gtest/gtest.h>

#include "online/BuildInfo.hpp"
#include "online/UpdateSignature.hpp"
#include "tests/e2e/online/OnlineProgram.hpp"
#include "tests/support/NginxServer.hpp"
#include "tests/support/SoundRecording.hpp"
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

// A new build of ours that writes the path it was started under to
// "started-by" beside itself and ends; random bytes after it make it as large
// as asked.
std::string newBuild(std::size_t size) {
    std::string build = readFile(LUMIVOX_UPDATED_BUILD);
    std::mt19937 random(7);
    while (build.size() < size)
        build += static_cast<char>('A' + random() % 26);
    return build;
}

// A version at least as late as any release: the line moves the host forward.
const std::string kLaterVersion = "999.0";

// "version---url---name---signature---new version", signed with the development key.
std::string versionFile(const std::string& version, const std::string& url, const std::string& name,
                        const std::string& build, const std::string& signedName,
                        const std::string& newVersion = kLaterVersion) {
    const fs::path build_file =
        fs::temp_directory_path() / ("lumivox-build-" + std::to_string(getpid()));
    writeFile(build_file, build);
    const auto digest = online::fileSha256(build_file.string());
    fs::remove(build_file);
    const std::string pem = readFile(LUMIVOX_DEVELOPMENT_KEY_FILE);
    const auto signature = online::signUpdate(pem, *digest, signedName, version, newVersion);
    return version + "---" + url + "---" + name + "---" + signature.value_or("") + "---" +
           newVersion;
}

// An xdg-open stand-in, first on PATH, that records the pages it is handed.
struct OpenerRecorder {
    OpenerRecorder() {
        writeFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + opened().string() + "'\n");
        fs::permissions(bin / "xdg-open", fs::perms(0755));
    }
    fs::path opened() const { return bin / "opened.txt"; }
    std::map<std::string, std::string> env() const {
        return {{"PATH", bin.path().string() + ":" + std::getenv("PATH")}};
    }
    TempDir bin;
};

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

// A server that accepts and never answers: the check waits on its own thread,
// so while it waits the sound board plays (an effect clicked is heard) and the
// links open, both before the check gives up (the failure box is not up yet and
// the one request is still the only one); then the bounded read ends in the
// failure box. A check on the GUI thread would hold both until that box.
TEST(VersionCheck, ASilentServerLeavesTheWindowWorking) {
    PulseServer sound;
    ASSERT_TRUE(sound.ok()) << "no private sound server";
    sound.useInThisProcess();
    SoundRecorder recorder;
    ASSERT_TRUE(recorder.ok()) << "parec did not start";
    TestWebSite site;
    SiteReply reply;
    reply.body = "2---http://127.0.0.1/new---LumivoxNew";
    reply.stall = std::chrono::minutes(5);
    site.serve("/111.txt", reply);
    OpenerRecorder opener;
    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    auto env = opener.env();
    for (const auto& [name, value] : sound.environment())
        env[name] = value;
    program.start(site.host(), env);
    ASSERT_TRUE(program.waitForWindow(kMain, 60)) << program.log();
    ASSERT_TRUE(waitUntil([&] { return !site.requestsFor("/111.txt").empty(); }, 30s));
    auto checkStillWaits = [&] {
        EXPECT_FALSE(program.geometry(kCheckFailed).viewable) << "the check had given up";
        EXPECT_EQ(site.requestsFor("/111.txt").size(), 1u);
    };

    const std::size_t mark = recorder.sampleCount();
    program.click(kMain, 376, 240);  // 官方音按钮16
    ASSERT_GE(recorder.waitForLoud(mark, 800, 30s), 0) << "no sound" << program.log();
    checkStillWaits();

    program.click(kMain, 578, 94);  // 特定按钮6 opens a page
    ASSERT_TRUE(waitUntil([&] { return fs::exists(opener.opened()); }, 30s)) << program.log();
    checkStillWaits();

    ASSERT_TRUE(program.waitForWindow(kCheckFailed, 60)) << program.log();
    program.pressEnterIn(kCheckFailed);
    EXPECT_EQ(program.process().wait(30s), 0) << program.log();
}

// The build's own server, which does not exist here ("lumivox.invalid" by
// default): a self-updating build tells the host and ends. A distribution build
// (LUMIVOX_SELF_UPDATE=OFF, the .deb; the CI's no-update preset) never asks: given
// a site whose version file would start an update of a self-updating build, it
// reads nothing and runs on for as long as the host wants (a minute here).
TEST(VersionCheck, WithNoServerAtAll) {
    TestWebSite site;
    SiteReply offer;
    offer.body = std::string(online::builtInVersion()) + "---" + site.url("/new.bin") + "---LumNew";
    site.serve("/111.txt", offer);
    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    program.start(online::selfUpdating() ? "" : site.host());
    ASSERT_TRUE(program.waitForWindow(kMain, 60)) << program.log();
    if (online::selfUpdating()) {
        ASSERT_TRUE(program.waitForWindow(kCheckFailed, 60)) << program.log();
        program.pressEnterIn(kCheckFailed);
        EXPECT_EQ(program.process().wait(30s), 0) << program.log();
        return;
    }
    std::this_thread::sleep_for(60s);
    EXPECT_TRUE(program.process().running()) << program.log();
    EXPECT_FALSE(program.geometry(kCheckFailed).viewable);
    EXPECT_FALSE(program.geometry(kUpdate).viewable);
    EXPECT_TRUE(site.requestsFor("/111.txt").empty());
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
    const std::string build = newBuild(1536 * 1024);
    fs::create_directory(www / "download");
    writeFile(www / "download/new.bin", build);
    // Five connections of 64 KB/s: about five seconds, long enough to watch.
    NginxServer nginx(www.path(), "location /download/ { limit_rate 64k; }");
    ASSERT_TRUE(nginx.ok());
    const std::string host = "127.0.0.1:" + std::to_string(nginx.port());
    writeFile(www / "111.txt",
              versionFile(std::string(online::builtInVersion()), nginx.url("/download/new.bin"),
                          "LumNew", build, "LumNew"));

    // An older file of that name stays; the download goes beside it under a new name.
    writeFile(program.installFolder() / "LumNew", "older");
    // A download of this build killed midway left the updater's temporary file:
    // it is taken away, not left beside the new one.
    writeFile(program.installFolder() / "LumNew.download", std::string(4096, '\0') + "killed");
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
    // Started before the host is told that it runs, from the verified file.
    EXPECT_TRUE(waitUntil([&] { return fs::exists(marker); }, 10s));
    program.pressEnterIn(kUpdateBox);
    EXPECT_EQ(program.process().wait(60s), 0) << program.log();
    EXPECT_EQ(readFile(marker), downloaded.string() + "\n" + downloaded.string());
    EXPECT_EQ(downloaded.filename(), "LumNew(1)");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(program.installFolder()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"LumNew", "LumNew(1)", "Lumivox", "started-by"}));
    EXPECT_NE(fs::status(downloaded).permissions() & fs::perms::owner_exec, fs::perms::none);
}

// The maker's release tool publishes a new build into a folder that nginx
// serves as the maker's site; the program of this build updates to it.
TEST(Release, AnOlderBuildUpdatesToAPublishedRelease) {
    TempDir www;
    const fs::path site = www / "site";
    fs::create_directory(site);
    NginxServer nginx(site);
    ASSERT_TRUE(nginx.ok());
    const std::string host = "127.0.0.1:" + std::to_string(nginx.port());
    const std::string ours(online::builtInVersion());
    auto publish = [&](const std::string& version, const fs::path& out) {
        return runCommand("LUMIVOX_SIGN='" LUMIVOX_SIGN_TOOL "' '" LUMIVOX_SOURCE_DIR
                          "/scripts/release' --program '" LUMIVOX_UPDATED_BUILD
                          "' --version " + version + " --previous " + ours + " --key '" +
                          LUMIVOX_DEVELOPMENT_KEY_FILE + "' --server " + host + " --out '" +
                          out.string() + "' 2>&1");
    };
    // A release that is not later than the build it replaces is refused, and
    // nothing is written.
    const CommandResult sideways = publish(ours, www / "refused");
    EXPECT_NE(sideways.status, 0) << sideways.output;
    EXPECT_FALSE(fs::exists(www / "refused"));
    const CommandResult published = publish("999.0", site);
    ASSERT_EQ(published.status, 0) << published.output;
    EXPECT_EQ(readFile(site / "download/Lumivox-999.0"), readFile(LUMIVOX_UPDATED_BUILD));
    EXPECT_TRUE(fs::exists(site / "index.html"));

    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    // A file of the release's name is the host's and stays; the release's
    // number goes after its whole name (not inside "999.0").
    writeFile(program.installFolder() / "Lumivox-999.0", "the host's");
    program.start(host);
    ASSERT_TRUE(program.waitForWindow(kUpdateBox, 120)) << program.log();
    EXPECT_EQ(readFile(program.installFolder() / "Lumivox-999.0"), "the host's");
    const fs::path landed = program.installFolder() / "Lumivox-999.0(1)";
    EXPECT_EQ(readFile(program.installFolder() / "started-by"),
              landed.string() + "\n" + landed.string());
    program.pressEnterIn(kUpdateBox);
    EXPECT_EQ(program.process().wait(60s), 0) << program.log();
}

// What the site does wrong, and what must come of it: the update window closes,
// the host is told that this build runs on, the main window takes input again,
// nothing is started, nothing of the host's removed, and no file of the
// download left (a build that cannot be started stays, verified, for the host).
// Every line is signed for the name it carries, so an unsafe name is its line's
// only fault: such an update is refused before its file is asked for, while the
// same line with a plain name (the unstartable build) is fetched.
struct FailureCase {
    const char* name;
    enum Kind {
        BadSignature,
        Missing,
        UnsafeName,
        Dropped,
        UnwritableFolder,
        Replayed,
        Downgrade,
        Terabyte,
        CannotStart
    } kind;
    std::string baseName = "LumNew";
    // Whether the program asks for the update's file (unset: either way).
    std::optional<bool> fetched = std::nullopt;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdateFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(UpdateFailure, ClosesTheWindowAndTheProgramRunsOn) {
    const FailureCase& c = GetParam();
    OnlineProgram program;
    ASSERT_TRUE(program.displayOk());
    const fs::path marker = program.installFolder() / "started-by";
    std::string build = newBuild(64 * 1024);
    if (c.kind == FailureCase::CannotStart)
        build = std::string(64 * 1024, 'x');  // signed, but no program
    // An older file of the update's name: the host's, to be kept as it is.
    writeFile(program.installFolder() / "LumNew", "older");

    TestWebSite site;
    SiteReply file;
    file.body = build;
    std::string name = c.baseName, signedName = c.baseName;
    std::string target = "/new.bin";
    std::string newVersion = kLaterVersion;
    const std::string ours(online::builtInVersion());
    if (c.kind == FailureCase::BadSignature)
        signedName = "Other";  // a signature of another update
    if (c.kind == FailureCase::Missing)
        target = "/missing.bin";
    if (c.kind == FailureCase::Dropped)
        file.closeAfterBodyBytes = 0;  // every connection ends right after the header
    if (c.kind == FailureCase::Replayed)
        newVersion = ours;  // a line that moves this build to itself
    if (c.kind == FailureCase::Downgrade)
        newVersion = "0.1";
    if (c.kind == FailureCase::Terabyte) {
        file.contentLength = file.rangeContentLength = false;
        file.headers = {"Content-Length: 1099511627776"};
    }
    site.serve("/new.bin", file);
    SiteReply version;
    version.body = versionFile(ours, site.url(target), name, build, signedName, newVersion);
    site.serve("/111.txt", version);

    OpenerRecorder opener;
    std::map<std::string, std::string> env = opener.env();
    std::vector<std::string> prefix;
    TempDir runtime;
    if (c.kind == FailureCase::UnwritableFolder && ::geteuid() == 0) {
        // The folder belongs to root: run the program as nobody, who may not write there.
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        ASSERT_EQ(::chown(runtime.path().c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(opener.bin.path().c_str(), 65534, 65534), 0);
        env["XDG_RUNTIME_DIR"] = runtime.path().string();
    } else if (c.kind == FailureCase::UnwritableFolder) {
        fs::permissions(program.installFolder(), fs::perms(0555));
    }
    program.start(site.host(), env, prefix);
    // A dropped connection is retried; with no byte for half a minute it has failed.
    ASSERT_TRUE(program.waitForWindow(kUpdateBox, 120)) << program.log();
    EXPECT_FALSE(program.geometry(kUpdate).viewable);
    if (c.fetched) {
        EXPECT_EQ(!site.requestsFor(target).empty(), *c.fetched);
    }
    program.pressEnterIn(kUpdateBox);
    // The main window takes input again: a link opens its page.
    std::this_thread::sleep_for(1s);
    program.click(kMain, 578, 94);  // 特定按钮6
    EXPECT_TRUE(waitUntil([&] { return fs::exists(opener.opened()); }, 20s)) << program.log();
    EXPECT_TRUE(program.process().running());
    program.process().terminate();
    fs::permissions(program.installFolder(), fs::perms(0755));
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(readFile(program.installFolder() / "LumNew"), "older");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(program.installFolder()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected{"LumNew", "Lumivox"};
    if (c.kind == FailureCase::CannotStart)
        expected = {"LumNew", "LumNew(1)", "Lumivox"};
    EXPECT_EQ(left, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateFailure,
    ::testing::Values(FailureCase{"BadSignature", FailureCase::BadSignature, "LumNew", true},
                      FailureCase{"Missing", FailureCase::Missing, "LumNew", true},
                      FailureCase{"UnsafeName", FailureCase::UnsafeName, "LumNew\r\n", false},
                      FailureCase{"DriveName", FailureCase::UnsafeName, "C:LumNew", false},
                      FailureCase{"DeviceName", FailureCase::UnsafeName, "CON", false},
                      FailureCase{"HiddenName", FailureCase::UnsafeName, ".LumNew", false},
                      FailureCase{"Dropped", FailureCase::Dropped, "LumNew", true},
                      FailureCase{"UnwritableFolder", FailureCase::UnwritableFolder},
                      FailureCase{"Replayed", FailureCase::Replayed, "LumNew", false},
                      FailureCase{"Downgrade", FailureCase::Downgrade, "LumNew", false},
                      FailureCase{"Terabyte", FailureCase::Terabyte, "LumNew", true},
                      FailureCase{"CannotStart", FailureCase::CannotStart, "LumNew", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivox::testing
