// The engine and the lumivox-get tool against a real nginx serving ranges.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "online/Download.hpp"
#include "tests/e2e/online/DownloadRecorder.hpp"
#include "tests/support/NginxServer.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::online {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using lumivox::testing::runCommand;

std::string sha256(const fs::path& file) {
    auto result = runCommand("sha256sum '" + file.string() + "'");
    return result.status == 0 ? result.output.substr(0, 64) : "failed";
}

class NginxDownload : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        www_ = new lumivox::testing::TempDir;
        for (std::size_t size : kSizes) {
            std::ofstream(www_->path() / name(size), std::ios::binary)
                << patternBytes(size, static_cast<std::uint32_t>(size));
        }
        // 64 MiB written in pieces of 1 MiB with different seeds.
        std::ofstream big(www_->path() / "big.bin", std::ios::binary);
        for (std::uint32_t piece = 0; piece < 64; ++piece)
            big << patternBytes(1 << 20, 1000 + piece);
        big.close();
        nginx_ = new lumivox::testing::NginxServer(www_->path());
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete www_;
    }
    static std::string name(std::size_t size) { return "f" + std::to_string(size) + ".bin"; }

    // Downloads `file` over five connections; the set of Range positions asked for.
    std::set<std::string> fetch(const std::string& file, std::chrono::seconds limit) {
        DownloadRecorder recorder;
        Download download;
        TaskParam param;
        param.url = nginx_->url("/" + file);
        param.localFile = (out_.path() / file).string();
        param.connectionCount = 5;
        recorder.attach(param);
        EXPECT_TRUE(download.startTask(param));
        EXPECT_TRUE(recorder.waitForEnd(limit));
        EXPECT_EQ(recorder.count(DownloadEvent::kThreadFailed), 0) << recorder.allMessages();
        EXPECT_EQ(sha256(out_.path() / file), sha256(www_->path() / file)) << file;
        std::set<std::string> ranges;
        for (const auto& m : recorder.messages()) {
            auto at = m.text.find("Range: bytes=");
            if (m.level == 1 && at != std::string::npos) {
                ranges.insert(m.text.substr(at + 13, m.text.find('-', at + 13) - at - 13));
            }
        }
        return ranges;
    }

    static constexpr std::size_t kSizes[] = {1, 20479, 20480, 20481, 102399, 102401};
    static lumivox::testing::TempDir* www_;
    static lumivox::testing::NginxServer* nginx_;
    lumivox::testing::TempDir out_;
};

lumivox::testing::TempDir* NginxDownload::www_ = nullptr;
lumivox::testing::NginxServer* NginxDownload::nginx_ = nullptr;

TEST_F(NginxDownload, FilesAroundTheBoundariesComeOutIdentical) {
    ASSERT_TRUE(nginx_->ok());
    const std::pair<std::size_t, std::set<std::string>> cases[] = {
        {1, {}},
        {20479, {}},
        {20480, {"4096", "8192", "12288", "16384"}},
        {20481, {"4096", "8192", "12288", "16384"}},
        {102399, {"20479", "40958", "61437", "81916"}},
        {102401, {"20480", "40960", "61440", "81920"}},
    };
    for (const auto& [size, ranges] : cases) {
        SCOPED_TRACE(size);
        EXPECT_EQ(fetch(name(size), 30s), ranges);
    }
}

TEST_F(NginxDownload, SixtyFourMebibytesOverFiveConnections) {
    ASSERT_TRUE(nginx_->ok());
    fetch("big.bin", 120s);
}

TEST_F(NginxDownload, CommandLineToolReportsTheOutcome) {
    ASSERT_TRUE(nginx_->ok());
    const std::string tool = (lumivox::testing::binaryDir() / "tools/get/lumivox-get").string();
    const std::string target = (out_.path() / "t.bin").string();
    auto ok = runCommand("'" + tool + "' " + nginx_->url("/f102401.bin") + " '" + target + "' 3");
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_EQ(sha256(target), sha256(www_->path() / "f102401.bin"));
    EXPECT_NE(ok.output.find("event 3 value 102401"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("event 4 value 102401"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("[2] HTTP/1.1 206 Partial Content"), std::string::npos) << ok.output;

    auto missing =
        runCommand("'" + tool + "' " + nginx_->url("/none.bin") + " '" + target + "2' 3");
    EXPECT_EQ(missing.status, 1) << missing.output;
    EXPECT_NE(missing.output.find("[3] 出现错误"), std::string::npos) << missing.output;
    EXPECT_NE(missing.output.find("event 9"), std::string::npos) << missing.output;

    EXPECT_EQ(runCommand("'" + tool + "' 2>/dev/null").status, 2);
    EXPECT_EQ(runCommand("'" + tool + "' ftp://x/y /tmp/never 2>/dev/null").status, 2);
}

}  // namespace
}  // namespace lumivox::online
