// The update's engine part on the Windows build, under Wine against nginx: a
// small signed build is downloaded over five connections as the update window
// asks, checked with libgcrypt against the built-in key and started; an altered
// build or signature is refused. (The update window itself belongs to the form
// runtime.)
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/Encoding.hpp"
#include "online/Download.hpp"
#include "online/BuildInfo.hpp"
#include "online/Update.hpp"
#include "online/UpdateSignature.hpp"
#include "platform/Executable.hpp"
#include "platform/Files.hpp"
#include "platform/HeldProgram.hpp"
#include "tests/e2e/online/DownloadRecorder.hpp"
#include "tests/e2e/online/WineNginx.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::online {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class WineUpdate : public WineNginxTest {
  protected:
    void SetUp() override {
        WineNginxTest::SetUp();
        if (HasFatalFailure())
            return;
        build_ = lumivox::testing::wholeFile(LUMIVOX_UPDATED_BUILD);
        ASSERT_FALSE(build_.empty());
        pem_ = lumivox::testing::wholeFile(LUMIVOX_DEVELOPMENT_KEY_FILE);
    }

    // Serves `bytes`, downloads them as the update window does into `target`
    // (GBK) and gives the path the engine created (GBK), or "" on failure.
    Text download(const std::string& served, const Text& target) {
        std::ofstream(www_ / "new.exe", std::ios::binary) << served;
        DownloadRecorder recorder;
        Download download;
        TaskParam param;
        param.taskKind = 4096;
        param.url = url_ + "/new.exe";
        param.connectionCount = 5;
        param.localFile = target;
        param.blockSize = 10240;
        recorder.attach(param);
        EXPECT_TRUE(download.startTask(param));
        EXPECT_TRUE(recorder.waitForEnd(60s));
        if (recorder.count(DownloadEvent::kThreadFailed) != 0)
            return {};
        for (const auto& event : recorder.events()) {
            if (event.code == DownloadEvent::kLengthKnown)
                return utf8ToGbk(event.path);
        }
        return {};
    }

    std::string signatureOf(const std::string& bytes, const Text& name, const Text& version,
                            const Text& newVersion = kLater) {
        const fs::path file = dir_ / "to-sign";
        std::ofstream(file, std::ios::binary) << bytes;
        return signUpdate(pem_, *fileSha256(file.string()), name, version, newVersion)
            .value_or("");
    }

    // A host's folder with a Chinese name and a blank, as a Chinese user's profile has.
    Text chineseFolder() {
        const fs::path folder = dir_.path() / fs::u8path("张三 的文件夹");
        fs::create_directories(folder);
        const std::u8string text = folder.u8string();
        return utf8ToGbk(std::string(text.begin(), text.end()));
    }

    static constexpr const char* kLater = "999.0";
    const Text ours_ = Text(builtInVersion());
    std::string build_, pem_;
    lumivox::testing::TempDir dir_;
};

TEST_F(WineUpdate, TheTargetIsBesideTheProgramWithTheProgramSuffix) {
    EXPECT_EQ(gbkToUtf8(updateTarget("LumNew")), platform::programFolder() + "/LumNew.exe");
    EXPECT_EQ(gbkToUtf8(temporaryTarget("LumNew")),
              platform::programFolder() + "/LumNew.exe.download");
}

// Downloaded under its temporary name in a Chinese folder, verified through the
// held handle (nobody may write to it meanwhile), renamed through that handle
// and started: the started program is the final file.
TEST_F(WineUpdate, AVerifiedBuildTakesItsNameAndIsStartedFromTheHeldFile) {
    const Text folder = chineseFolder();
    const Text temporary = folder + "/LumNew.exe.download";
    const Text target = folder + "/LumNew.exe";
    const std::string signature = signatureOf(build_, "LumNew", ours_);
    ASSERT_FALSE(signature.empty());

    const Text landed = download(build_, temporary);
    ASSERT_EQ(landed, temporary);
    const auto held = platform::HeldProgram::open(gbkToUtf8(landed));
    ASSERT_TRUE(held);
    const HANDLE writer = CreateFileW(fs::u8path(gbkToUtf8(landed)).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "the held build could be written";
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    const auto digest = held->sha256();
    ASSERT_TRUE(digest);
    ASSERT_TRUE(acceptUpdate(*digest, signature, "LumNew", ours_, kLater));
    ASSERT_TRUE(held->moveTo(gbkToUtf8(target)));
    EXPECT_FALSE(fs::exists(fs::u8path(gbkToUtf8(temporary))));
    ASSERT_TRUE(held->start(1000));
    held->waitForEnd();
    const std::string started =
        lumivox::testing::wholeFile(fs::u8path(gbkToUtf8(target) + ".started"));
    const std::string self = started.substr(0, started.find('\n'));
    EXPECT_TRUE(fs::equivalent(fs::u8path(self), fs::u8path(gbkToUtf8(target)))) << started;
    // A file removed by its UTF-8 path (the failed download's clean-up).
    std::ofstream(fs::u8path(gbkToUtf8(folder) + "/残留.download")) << "x";
    EXPECT_TRUE(platform::removeFile(gbkToUtf8(folder) + "/残留.download"));
    EXPECT_FALSE(fs::exists(fs::u8path(gbkToUtf8(folder) + "/残留.download")));
}

// A name that exists (the running program's own file, held as the loader holds
// it) is never replaced: the verified build takes the next free name.
TEST_F(WineUpdate, AVerifiedBuildNeverReplacesAFileOfItsName) {
    const Text folder = chineseFolder();
    const Text target = folder + "/Lumivox.exe";
    std::ofstream(fs::u8path(gbkToUtf8(target)), std::ios::binary) << "the running program";
    const HANDLE running =
        CreateFileW(fs::u8path(gbkToUtf8(target)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(running, INVALID_HANDLE_VALUE);
    const Text landed = download(build_, folder + "/Lumivox.exe.download");
    const auto held = platform::HeldProgram::open(gbkToUtf8(landed));
    ASSERT_TRUE(held);
    EXPECT_FALSE(held->moveTo(gbkToUtf8(target)));
    ASSERT_TRUE(held->moveTo(gbkToUtf8(folder + "/Lumivox(1).exe")));
    CloseHandle(running);
    EXPECT_EQ(lumivox::testing::wholeFile(fs::u8path(gbkToUtf8(target))), "the running program");
    ASSERT_TRUE(held->start(1000));
    held->waitForEnd();
    EXPECT_TRUE(fs::exists(fs::u8path(gbkToUtf8(folder) + "/Lumivox(1).exe.started")));
}

// Bytes that are no program: the start fails and says so.
TEST_F(WineUpdate, AFileThatIsNoProgramDoesNotStart) {
    const Text folder = chineseFolder();
    const Text landed = download(std::string(4096, 'x'), folder + "/Broken.exe.download");
    const auto held = platform::HeldProgram::open(gbkToUtf8(landed));
    ASSERT_TRUE(held);
    ASSERT_TRUE(held->moveTo(gbkToUtf8(folder + "/Broken.exe")));
    EXPECT_FALSE(held->start(1000));
}

TEST_F(WineUpdate, AnAlteredBuildOrSignatureIsRefused) {
    const Text name = "Lumivox2";
    const std::string signature = signatureOf(build_, name, ours_);
    std::string tampered = build_;
    tampered[tampered.size() / 2] ^= 0x20;
    std::string flipped = signature;
    flipped[20] = flipped[20] == 'A' ? 'B' : 'A';
    struct Case {
        const char* what;
        const std::string& served;
        std::string signature;
        Text version, newVersion;
    };
    const Case cases[] = {
        {"one byte of the build changed", tampered, signature, ours_, kLater},
        {"the signature altered", build_, flipped, ours_, kLater},
        {"signed for another version", build_, signature, "2", kLater},
        {"another new version than signed", build_, signature, ours_, "998.0"},
        {"no signature", build_, "", ours_, kLater},
        // Signed, but moving this build sideways or back.
        {"sideways", build_, signatureOf(build_, name, ours_, ours_), ours_, ours_},
        {"back", build_, signatureOf(build_, name, ours_, "0.1"), ours_, "0.1"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Text target = utf8ToGbk(dir_.path().string()) + "/" + name + std::to_string(++n) +
                            platform::executableSuffix();
        const Text landed = download(c.served, target);
        ASSERT_EQ(landed, target);
        EXPECT_FALSE(acceptDownloadedBuild(landed, c.signature, name, c.version, c.newVersion));
    }
    // The same build, signed as it should be, is accepted: the table's refusals are real.
    const Text good = download(build_, utf8ToGbk(dir_.path().string()) + "/good.exe");
    EXPECT_TRUE(acceptDownloadedBuild(good, signature, name, ours_, kLater));
}

}  // namespace
}  // namespace lumivox::online
