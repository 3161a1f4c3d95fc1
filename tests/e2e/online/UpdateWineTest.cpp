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
#include "online/Update.hpp"
#include "online/UpdateSignature.hpp"
#include "platform/Executable.hpp"
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

    std::string signatureOf(const std::string& bytes, const Text& name, const Text& version) {
        const fs::path file = dir_ / "to-sign";
        std::ofstream(file, std::ios::binary) << bytes;
        return signUpdate(pem_, *fileSha256(file.string()), name, version).value_or("");
    }

    std::string build_, pem_;
    lumivox::testing::TempDir dir_;
};

TEST_F(WineUpdate, TheTargetIsBesideTheProgramWithTheProgramSuffix) {
    const Text name = utf8ToGbk("新版本");
    EXPECT_EQ(gbkToUtf8(updateTarget(name)), platform::programFolder() + "/新版本.exe");
}

TEST_F(WineUpdate, ASignedBuildIsStartedFromWhereItLanded) {
    const Text name = utf8ToGbk("新 版本");  // a blank and Chinese on the way to CreateProcessW
    const Text target = utf8ToGbk(dir_.path().string()) + "/" + name + ".exe";
    const std::string signature = signatureOf(build_, name, "1");
    ASSERT_FALSE(signature.empty());

    const Text landed = download(build_, target);
    ASSERT_EQ(landed, target);
    // Paths are UTF-8 here; a plain std::string would be read in the ANSI code page.
    const fs::path file = fs::u8path(gbkToUtf8(landed));
    const std::string got = lumivox::testing::wholeFile(file);
    EXPECT_TRUE(got == build_) << got.size() << " bytes landed of " << build_.size();
    ASSERT_TRUE(acceptDownloadedBuild(landed, signature, name, "1"));
    ASSERT_TRUE(startDownloadedBuild(landed));  // waits for the build to end
    const std::string started =
        lumivox::testing::wholeFile(fs::u8path(gbkToUtf8(landed) + ".started"));
    const std::string self = started.substr(0, started.find('\n'));
    EXPECT_TRUE(fs::equivalent(fs::u8path(self), file)) << started;
    EXPECT_EQ(started.substr(started.find('\n') + 1), gbkToUtf8(commandLineOf(landed)));
}

// The update named after the running program: Windows keeps a running
// program's file from being written or deleted, so the build lands beside it
// under a numbered name, still ending in ".exe", and that file is started.
TEST_F(WineUpdate, ABuildNamedLikeTheRunningProgramLandsBesideIt) {
    const Text name = "Lumivox";
    const Text target = utf8ToGbk(dir_.path().string()) + "/Lumivox.exe";
    std::ofstream(fs::u8path(gbkToUtf8(target)), std::ios::binary) << "the running program";
    // Open as the loader holds a running program: others may read, not write or delete.
    const HANDLE running =
        CreateFileW(fs::u8path(gbkToUtf8(target)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(running, INVALID_HANDLE_VALUE);
    const std::string signature = signatureOf(build_, name, "1");

    const Text landed = download(build_, target);
    CloseHandle(running);
    EXPECT_EQ(landed, utf8ToGbk(dir_.path().string()) + "/Lumivox(1).exe");
    EXPECT_EQ(lumivox::testing::wholeFile(fs::u8path(gbkToUtf8(target))), "the running program");
    ASSERT_TRUE(acceptDownloadedBuild(landed, signature, name, "1"));
    ASSERT_TRUE(startDownloadedBuild(landed));
    EXPECT_TRUE(fs::exists(fs::u8path(gbkToUtf8(landed) + ".started")));
}

TEST_F(WineUpdate, AnAlteredBuildOrSignatureIsRefused) {
    const Text name = "Lumivox2";
    const std::string signature = signatureOf(build_, name, "1");
    std::string tampered = build_;
    tampered[tampered.size() / 2] ^= 0x20;
    std::string flipped = signature;
    flipped[20] = flipped[20] == 'A' ? 'B' : 'A';
    struct Case {
        const char* what;
        const std::string& served;
        std::string signature;
        Text version;
    };
    const Case cases[] = {
        {"one byte of the build changed", tampered, signature, "1"},
        {"the signature altered", build_, flipped, "1"},
        {"signed for another version", build_, signature, "2"},
        {"no signature", build_, "", "1"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Text target = utf8ToGbk(dir_.path().string()) + "/" + name + std::to_string(++n) +
                            platform::executableSuffix();
        const Text landed = download(c.served, target);
        ASSERT_EQ(landed, target);
        EXPECT_FALSE(acceptDownloadedBuild(landed, c.signature, name, c.version));
    }
}

}  // namespace
}  // namespace lumivox::online
