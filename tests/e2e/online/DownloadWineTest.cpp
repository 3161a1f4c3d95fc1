// The download engine of the Windows build (Winsock, the mapped target) against
// a real nginx on Linux, started beside Wine by scripts/wine-with-nginx.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "online/Download.hpp"
#include "platform/Web.hpp"
#include "tests/e2e/online/DownloadRecorder.hpp"
#include "tests/e2e/online/WineNginx.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::online {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class WineDownload : public WineNginxTest {
  protected:
    // Serves `bytes` as `name`, downloads it over five connections and gives what landed.
    std::string fetch(const std::string& name, const std::string& bytes,
                      std::chrono::seconds limit) {
        std::ofstream(www_ / name, std::ios::binary) << bytes;
        DownloadRecorder recorder;
        Download download;
        TaskParam param;
        param.url = url_ + "/" + name;
        param.localFile = (out_.path() / name).string();
        param.connectionCount = 5;
        recorder.attach(param);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(download.startTask(param));
        EXPECT_TRUE(recorder.waitForEnd(limit));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(recorder.count(DownloadEvent::kThreadFailed), 0) << recorder.allMessages();
        std::printf("%s: %zu bytes in %.3f s (%.1f MiB/s)\n", name.c_str(), bytes.size(),
                    took.count(), static_cast<double>(bytes.size()) / (1 << 20) / took.count());
        std::ifstream in(out_.path() / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    lumivox::testing::TempDir out_;
};

TEST_F(WineDownload, FilesAroundTheSegmentBoundariesComeOutIdentical) {
    for (std::size_t size : {std::size_t{1}, std::size_t{20480}, std::size_t{102401}}) {
        SCOPED_TRACE(size);
        const std::string bytes = patternBytes(size, static_cast<std::uint32_t>(size));
        EXPECT_TRUE(fetch("f" + std::to_string(size) + ".bin", bytes, 30s) == bytes);
    }
}

TEST_F(WineDownload, SixtyFourMebibytesOverFiveConnections) {
    std::string bytes;
    for (std::uint32_t piece = 0; piece < 64; ++piece)
        bytes += patternBytes(1 << 20, 1000 + piece);
    EXPECT_TRUE(fetch("big.bin", bytes, 120s) == bytes);
}

// The version file over WinINet: the body as it came, an error page too.
TEST_F(WineDownload, VersionFileComesWholeOverTheSystemsInternetService) {
    const std::string text = "2.0---http://example.invalid/new.exe---Lumivox\r\n";
    std::ofstream(www_ / "111.txt", std::ios::binary) << text;
    const ByteData body = platform::readHttpFile(url_ + "/111.txt#ignored");
    EXPECT_EQ(std::string(body.begin(), body.end()), text);
    const ByteData missing = platform::readHttpFile(url_ + "/none.txt");
    EXPECT_NE(std::string(missing.begin(), missing.end()).find("404"), std::string::npos);
    EXPECT_TRUE(platform::readHttpFile("").empty());
}

}  // namespace
}  // namespace lumivox::online
