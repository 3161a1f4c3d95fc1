// The settings window's "遥控面板" block: the QR code of the panel's link read
// back by an independent reader (zbarimg), from the pixels the block draws.
#include <gtest/gtest.h>

#include <fstream>

#include "app/RemotePanelSection.hpp"
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
    const CommandResult read = runCommand("zbarimg --quiet --raw '" + file.string() + "' 2>/dev/null");
    return read.output.substr(0, read.output.find('\n'));
}

TEST(RemoteSectionQr, TheCodeReadsBackAsTheWholeLink) {
    if (runCommand("command -v zbarimg").status != 0) {
        GTEST_SKIP() << "zbarimg (zbar-tools) missing";
    }
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
