// The settings window's "遥控面板" block: the QR code of the panel's link read
// back by an independent reader (zbarimg), from the pixels the block draws and
// from the real window on the screen, and what its buttons change.
#include <gtest/gtest.h>

#include <fstream>

#include "app/RemotePanelSection.hpp"
#include "tests/e2e/remote/RemoteProgram.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

// What zbarimg reads in a picture of these pixels (a PGM file), "" for nothing.
std::string decoded(const std::vector<std::uint32_t>& pixels, int size, const TempDir& dir) {
    const auto file = dir / "code.pgm";
    std::ofstream out(file, std::ios::binary);
    out << "P5\n" << size << " " << size << "\n255\n";
    for (const std::uint32_t pixel : pixels) {
        out.put(static_cast<char>(pixel & 0xFF));
    }
    out.close();
    const CommandResult read =
        runCommand("zbarimg --quiet --raw '" + file.string() + "' 2>/dev/null");
    return read.output.substr(0, read.output.find('\n'));
}

TEST(RemoteSectionQr, TheCodeReadsBackAsTheWholeLink) {
    LUMIVOX_NEEDS_INSTALLED(runCommand("command -v zbarimg").status != 0 ? " zbarimg (zbar-tools)" : "");
    TempDir dir;
    const std::string token = "Zk3Qp9LmXw2Rt7Vb5Nc8Hd4Jf6Gs1Ay0";
    for (const std::string& link : {"http://127.0.0.1:8765/#token=" + token,
                                    "http://192.168.178.123:65535/#token=" + token}) {
        const std::vector<std::uint32_t> pixels = qrPixels(link, 148);
        ASSERT_EQ(pixels.size(), 148u * 148u) << link;
        EXPECT_EQ(decoded(pixels, 148, dir), link);
    }
    // A box too small for the code gets none rather than a code no camera reads.
    EXPECT_TRUE(qrPixels("http://192.168.178.123:65535/#token=" + token, 30).empty());
}

}  // namespace
}  // namespace lumivox::testing

namespace lumivox::testing {
namespace {

using namespace std::chrono_literals;

// What zbarimg reads in a screenshot of the settings window, "" for nothing.
std::string qrOnScreen(const RemoteProgram& program, const TempDir& dir) {
    const WindowGeometry window = program.display().geometry("设置");
    const auto file = dir / "settings.png";
    program.display().x("import -window root -crop " + std::to_string(window.width) + "x" +
                        std::to_string(window.height) + "+" + std::to_string(window.x) + "+" +
                        std::to_string(window.y) + " " + file.string());
    const CommandResult read =
        runCommand("zbarimg --quiet --raw '" + file.string() + "' 2>/dev/null");
    return read.output.substr(0, read.output.find('\n'));
}

std::string tokenIn(const std::string& link) {
    const std::size_t at = link.find("#token=");
    return at == std::string::npos ? "" : link.substr(at + 7);
}

// The block in the real settings window: the QR code a phone would scan, "更换令牌"
// (the old token refused at once, the new one taken, both in the file), and the
// switch (nothing listens while off).
TEST(RemoteSectionE2E, TheQrCodeCarriesTheTokenAndTheButtonsChangeWhatListens) {
    LUMIVOX_NEEDS_INSTALLED(runCommand("command -v zbarimg").status != 0 ? " zbarimg (zbar-tools)" : "");
    RemoteProgram program(
        "[remote]\nenabled = true\nlisten = 127.0.0.1:PORT\ntoken = " + kRemoteToken + "\n");
    ASSERT_TRUE(program.ok()) << program.log();
    const int port = program.port();
    TempDir dir;
    program.click("设置按钮");
    ASSERT_TRUE(waitUntil([&] { return program.display().geometry("设置").viewable; }, 30s))
        << program.log();
    const std::string link = "http://127.0.0.1:" + std::to_string(port) + "/#token=" + kRemoteToken;
    EXPECT_TRUE(waitUntil([&] { return qrOnScreen(program, dir) == link; }, 10s))
        << "[" << qrOnScreen(program, dir) << "]";
    if (const char* shots = std::getenv("LUMIVOX_PANEL_SHOTS")) {
        const WindowGeometry window = program.display().geometry("设置");
        program.display().x("import -window root -crop " + std::to_string(window.width) + "x" +
                            std::to_string(window.height) + "+" + std::to_string(window.x) + "+" +
                            std::to_string(window.y) + " " + shots + "/settings.png");
    }

    // "更换令牌": a new token in the code and the file; the old one is refused at once.
    auto clickIn = [&](int left, int top) {
        const WindowGeometry window = program.display().geometry("设置");
        program.display().x("xdotool mousemove " + std::to_string(window.x + left) + " " +
                            std::to_string(window.y + top) + " click 1");
    };
    clickIn(224 + 46, 424 + 2 * 36 + 16);
    std::string changed;
    ASSERT_TRUE(waitUntil(
        [&] {
            changed = tokenIn(qrOnScreen(program, dir));
            return !changed.empty() && changed != kRemoteToken;
        },
        10s));
    EXPECT_EQ(changed.size(), 32u);
    EXPECT_NE(wholeFile(program.config() / "Lumivox/lumivox.ini").find("token=" + changed),
              std::string::npos)
        << wholeFile(program.config() / "Lumivox/lumivox.ini");
    EXPECT_EQ(apiCall(port, "GET", "/api/state", kRemoteToken).status, 401);
    EXPECT_EQ(apiCall(port, "POST", "/api/effects/3/play", kRemoteToken).status, 401);
    EXPECT_EQ(apiCall(port, "GET", "/api/state", changed).status, 200);

    // The switch: off, nothing listens; on again, the same address and token.
    clickIn(224 + 46, 424 + 16);
    EXPECT_TRUE(waitUntil([&] { return program.listeningSockets() == 0; }, 10s));
    EXPECT_EQ(qrOnScreen(program, dir), "");
    EXPECT_NE(wholeFile(program.config() / "Lumivox/lumivox.ini").find("enabled=false"),
              std::string::npos);
    clickIn(224 + 46, 424 + 16);
    EXPECT_TRUE(
        waitUntil([&] { return apiCall(port, "GET", "/api/state", changed).status == 200; }, 10s));
    EXPECT_TRUE(program.running()) << program.log();
}

}  // namespace
}  // namespace lumivox::testing
