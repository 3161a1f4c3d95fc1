// The update of Lumivox.exe under Wine, as the host sees it, on a private X
// screen (scripts/wine-with-display) against nginx (scripts/wine-with-nginx):
// a version file naming version "1" opens the update window, the signed build
// downloads from nginx, is checked, the host is told, the new build is started
// and the old program ends; a build whose signature does not match starts
// nothing, leaves nothing behind and the host is told; a release made by the
// maker's release tool is taken up end to end. The program runs from an
// install folder of its own, where the update lands. Arguments: the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "online/BuildInfo.hpp"
#include "online/UpdateSignature.hpp"
#include "platform/windows/WideText.hpp"
#include "tests/e2e/online/WineNginx.hpp"
#include "tests/e2e/app/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string programPath;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The text of a message box (its static control).
std::wstring boxText(HWND box) {
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    return text;
}

class WineUpdateWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(online::wineNginx(url_, www_)) << "run through scripts/wine-with-nginx";
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through scripts/wine-with-display";
        ASSERT_FALSE(programPath.empty());
        std::string host = url_;
        host.erase(0, host.find("//") + 2);
        SetEnvironmentVariableW(L"LUMIVOX_SERVER", platform::widen(host).c_str());
        ASSERT_TRUE(fs::copy_file(fs::path(windowsPath(programPath)), install_ / "Lumivox.exe"));
        // The new build: a program of ours that records how it was started,
        // made about 2 MB long (Windows runs a program with bytes after its image).
        build_ = wholeFile(fs::path(windowsPath(LUMIVOX_UPDATED_BUILD)));
        ASSERT_FALSE(build_.empty());
        std::mt19937 random(7);
        while (build_.size() < 2 * 1024 * 1024) {
            build_ += static_cast<char>('A' + random() % 26);
        }
    }

    // Serves the build and a version file that moves this build to a later one:
    // "<our version>---url---LumNew---signature---999.0".
    void serve(bool signatureMatches) {
        std::ofstream(www_ / "new.bin", std::ios::binary) << build_;
        const fs::path toSign = scratch_ / "to-sign";
        std::ofstream(toSign, std::ios::binary) << build_;
        const auto digest = online::fileSha256(platform::narrow(toSign.wstring()));
        ASSERT_TRUE(digest.has_value());
        std::string signature =
            online::signUpdate(wholeFile(fs::path(windowsPath(LUMIVOX_DEVELOPMENT_KEY_FILE))),
                               *digest, "LumNew", online::builtInVersion(), "999.0")
                .value_or("");
        ASSERT_FALSE(signature.empty());
        if (!signatureMatches) {
            signature[10] = signature[10] == 'A' ? 'B' : 'A';
        }
        std::ofstream(www_ / "111.txt", std::ios::binary)
            << online::builtInVersion() << "---" << url_ << "/new.bin---LumNew---" << signature
            << "---999.0";
    }

    std::vector<std::wstring> installed() const {
        std::vector<std::wstring> names;
        for (const auto& entry : fs::directory_iterator(install_.path())) {
            names.push_back(entry.path().filename().wstring());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string url_, build_;
    fs::path www_;
    TempDir install_, scratch_;
};

TEST_F(WineUpdateWindow, TheSignedBuildIsDownloadedCheckedStartedAndTheOldProgramEnds) {
    ASSERT_NO_FATAL_FAILURE(serve(true));
    // A download of this build killed midway left the updater's temporary file.
    std::ofstream(install_ / "LumNew.exe.download", std::ios::binary) << "killed midway";
    Started program(platform::narrow((install_ / "Lumivox.exe").wstring()), install_.path());
    ASSERT_TRUE(program.ok());
    HWND update = program.waitForWindow(L"自动更新", 60s);
    ASSERT_NE(update, nullptr) << "no update window";
    const auto shown = Clock::now();
    RECT client;
    GetClientRect(update, &client);
    EXPECT_EQ(client.right, 442);
    EXPECT_EQ(client.bottom, 59);

    HWND box = program.waitForWindow(L"提示", 120s);
    ASSERT_NE(box, nullptr) << "no message at the end of the download";
    const double downloadedAndChecked = msSince(shown);
    EXPECT_EQ(boxText(box), L"下载完成，请手动删除旧版本！软件自动运行新版本！");
    // The build is in place and started before the host is told that it runs;
    // its temporary name is gone. (The old program holds it, so that nobody
    // changes it, until it ends.)
    const fs::path landed = install_ / "LumNew.exe";
    EXPECT_TRUE(fs::exists(install_ / "LumNew.exe.started"));
    EXPECT_FALSE(fs::exists(install_ / "LumNew.exe.download"));

    // The host's Enter: the old program ends.
    const auto pressed = Clock::now();
    pressKey(box, VK_RETURN);
    EXPECT_EQ(program.waitForExit(60s), 0);
    const double restarted = msSince(pressed);
    EXPECT_TRUE(wholeFile(landed) == build_);
    const std::string started = wholeFile(install_ / "LumNew.exe.started");
    ASSERT_FALSE(started.empty()) << "the new build did not run";
    EXPECT_TRUE(fs::equivalent(fs::u8path(started.substr(0, started.find('\n'))), landed))
        << started;
    EXPECT_EQ(installed(), (std::vector<std::wstring>{L"LumNew.exe", L"LumNew.exe.started",
                                                      L"Lumivox.exe"}));
    std::printf(
        "update under Wine (2 MiB over 5 connections): window shown to download "
        "checked %.0f ms; Enter to the old program ended and the new build run %.0f ms\n",
        downloadedAndChecked, restarted);
}

TEST_F(WineUpdateWindow, ABadSignatureStartsNothingAndTheProgramRunsOn) {
    ASSERT_NO_FATAL_FAILURE(serve(false));
    Started program(platform::narrow((install_ / "Lumivox.exe").wstring()), install_.path());
    ASSERT_TRUE(program.ok());
    ASSERT_NE(program.waitForWindow(L"自动更新", 60s), nullptr) << "no update window";
    HWND box = program.waitForWindow(L"提示", 120s);
    ASSERT_NE(box, nullptr) << "the host was not told";
    EXPECT_EQ(boxText(box), L"自动更新失败，当前版本继续运行。请稍后再试或到官方网站下载新版本！");
    pressKey(box, VK_RETURN);
    // The update window is gone, the main window takes input again, the program runs on.
    HWND main = program.waitForWindow(L"LumivoxV1.0", 10s);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main) != 0; }, 10s));
    EXPECT_EQ(program.waitForWindow(L"自动更新", 1s), nullptr);
    EXPECT_EQ(program.waitForExit(2s), -1000) << "the program ended";
    // The refused download is gone and nothing was started.
    EXPECT_EQ(installed(), std::vector<std::wstring>{L"Lumivox.exe"});
}

// The maker's release tool publishes into nginx's folder (scripts/release on
// the Linux side, through tests/e2e/online/wine-release-publisher, told the
// server once this test knows it) and this older Lumivox.exe updates to it: the
// published build lands under the release's name and runs.
TEST_F(WineUpdateWindow, AnOlderBuildUpdatesToAReleaseOfTheReleaseTool) {
    const char* exchange = std::getenv("LUMIVOX_RELEASE_EXCHANGE");
    ASSERT_NE(exchange, nullptr) << "run through tests/e2e/online/wine-release-publisher";
    const fs::path folder(exchange);
    std::string host = url_;
    host.erase(0, host.find("//") + 2);
    // The site's root is the release's alone (the tool publishes into an empty folder).
    for (const auto& entry : fs::directory_iterator(www_))
        fs::remove_all(entry.path());
    {
        std::ofstream request(folder / "request.new", std::ios::binary);
        request << host << "\n"
                << online::builtInVersion() << "\n"
                << std::getenv("LUMIVOX_NGINX_ROOT") << "\n";
    }
    fs::rename(folder / "request.new", folder / "request");
    ASSERT_TRUE(waitUntil([&] { return fs::exists(folder / "status"); }, 300s))
        << "the release tool did not finish";
    ASSERT_EQ(wholeFile(folder / "status"), "0\n") << wholeFile(folder / "output");
    const std::string published = wholeFile(fs::path(windowsPath(LUMIVOX_UPDATED_BUILD)));
    ASSERT_TRUE(wholeFile(www_ / "download" / "Lumivox-999.0.exe") == published);
    EXPECT_TRUE(fs::exists(www_ / "index.html"));

    Started program(platform::narrow((install_ / "Lumivox.exe").wstring()), install_.path());
    ASSERT_TRUE(program.ok());
    HWND box = program.waitForWindow(L"提示", 120s);
    ASSERT_NE(box, nullptr) << "no message at the end of the update";
    EXPECT_EQ(boxText(box), L"下载完成，请手动删除旧版本！软件自动运行新版本！");
    pressKey(box, VK_RETURN);
    EXPECT_EQ(program.waitForExit(60s), 0);
    const fs::path landed = install_ / "Lumivox-999.0.exe";
    EXPECT_TRUE(wholeFile(landed) == published);
    const std::string started = wholeFile(install_ / "Lumivox-999.0.exe.started");
    ASSERT_FALSE(started.empty()) << "the new build did not run";
    EXPECT_TRUE(fs::equivalent(fs::u8path(started.substr(0, started.find('\n'))), landed))
        << started;
    EXPECT_EQ(installed(), (std::vector<std::wstring>{L"Lumivox-999.0.exe",
                                                      L"Lumivox-999.0.exe.started",
                                                      L"Lumivox.exe"}));
}

}  // namespace
}  // namespace lumivox::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) {
        lumivox::testing::programPath = argv[1];
    }
    return RUN_ALL_TESTS();
}
