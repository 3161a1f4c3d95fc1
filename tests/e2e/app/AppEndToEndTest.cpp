// The real program under a private X server: first start, window placement,
// what the screen shows, a page tab clicked, and the ways it ends.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <QImage>

#include "forms/qt/Pictures.hpp"
#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kScreenWidth = 1280, kScreenHeight = 1024;

class ShellEndToEnd : public ::testing::Test {
  protected:
    ShellEndToEnd() : xvfb_(kScreenWidth, kScreenHeight) {}

    void start() {
        ASSERT_TRUE(xvfb_.ok()) << "no X server";
        auto env = xvfb_.environment();
        env["XDG_CONFIG_HOME"] = config_.path().string();
        // Started from another folder: the program moves to its own.
        program_ = std::make_unique<Subprocess>(
            std::vector<std::string>{(binaryDir() / "lumivox").string()}, env, work_ / "out.txt",
            work_ / "err.txt");
        ASSERT_TRUE(waitUntil([&] { return geometry().viewable; }, 60s)) << log();
        // Mapped is not yet painted: wait for the tab row to show.
        const WindowGeometry g = geometry();
        ASSERT_TRUE(waitUntil(
            [&] { return (screenshot().pixel(g.x + 58, g.y + 72 + 40) & 0xFFFFFF) != 0; }, 30s))
            << log();
    }

    std::string x(const std::string& command) { return xvfb_.x(command); }

    WindowGeometry geometry() { return xvfb_.geometry("LumivoxV1.0"); }

    QImage screenshot() {
        const fs::path file = work_ / "screen.png";
        x("import -window root " + file.string());
        return QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_RGB32);
    }

    // Clicks at a point of the window's client area.
    void click(int left, int top) { xvfb_.click("LumivoxV1.0", left, top); }

    void pressEscape() {
        const std::string id = x("xdotool search --name LumivoxV1.0");
        x("xdotool windowfocus --sync " + id.substr(0, id.find('\n')) + " key Escape");
    }

    // What the program and the X server said, for a failure's message.
    std::string log() {
        auto read = [](const fs::path& path) {
            std::ifstream in(path);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        return read(work_ / "err.txt") + "\nX server " + xvfb_.display() + ": " +
               x("xdpyinfo | head -2") +
               read(fs::path(xvfb_.environment()["XDG_RUNTIME_DIR"]) / "xvfb.log");
    }

    PrivateDisplay xvfb_;
    TempDir config_;
    TempDir work_;
    std::unique_ptr<Subprocess> program_;
};

// Where a picture lies on the screen: its pixels must show exactly (away from
// captions), transparent pixels showing the black background.
void expectPictureAt(const QImage& screen, const QImage& picture, QPoint at, QRect part) {
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x) {
            ASSERT_EQ(screen.pixel(at.x() + x, at.y() + y) & 0xFFFFFF,
                      picture.pixel(x, y) & 0xFFFFFF)
                << "picture pixel " << x << "," << y;
        }
    }
}

TEST_F(ShellEndToEnd, FirstStartShowsTheCentredWindowAndEndsWithEscape) {
    ASSERT_NO_FATAL_FAILURE(start());
    // The data folder is made; no settings file is.
    ASSERT_TRUE(fs::is_directory(config_ / "Lumivox"));
    EXPECT_TRUE(fs::is_empty(config_ / "Lumivox"));
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(program_->pid()) + "/cwd"), binaryDir());

    const WindowGeometry g = geometry();
    EXPECT_EQ(g.width, 637);
    EXPECT_EQ(g.height, 593);
    EXPECT_EQ(g.x, (kScreenWidth - 637) / 2);
    EXPECT_EQ(g.y, (kScreenHeight - 593) / 2);

    const QImage screen = screenshot();
    const QPoint client(g.x, g.y);
    // 特定按钮2 at 112,72: below its caption the outside tab picture.
    expectPictureAt(screen, embeddedPicture("pictures/tab_out.jpg"), client + QPoint(112, 72),
                    QRect(0, 36, 100, 9));
    // 官方音按钮1 on the sound page (8,128 + 8,16): the bar's ends and the black strip under it.
    const QPoint sound = client + QPoint(16, 144);
    const QImage bar = embeddedPicture("pictures/bar.jpg");
    expectPictureAt(screen, bar, sound, QRect(0, 0, 10, 30));
    expectPictureAt(screen, bar, sound, QRect(86, 0, 10, 30));
    for (int x = 0; x < 96; ++x) {
        ASSERT_EQ(screen.pixel(sound.x() + x, sound.y() + 31) & 0xFFFFFF, 0u);
    }
    // The banner: dark, lit by magenta and red streaks (red and blue above green).
    long red = 0, green = 0, blue = 0;
    for (int y = 0; y < 72; ++y) {
        for (int x = 0; x < 637; ++x) {
            const QRgb p = screen.pixel(g.x + x, g.y + y);
            red += qRed(p), green += qGreen(p), blue += qBlue(p);
        }
    }
    const long pixels = 72 * 637;
    EXPECT_LT((red + green + blue) / 3 / pixels, 110);
    EXPECT_GT(red, 2 * green);
    EXPECT_GT(blue, 2 * green);
    // The window's own background below the pages is black.
    EXPECT_EQ(screen.pixel(g.x + 3, g.y + 590) & 0xFFFFFF, 0u);

    pressEscape();
    EXPECT_EQ(program_->wait(30s), 0) << log();
}

TEST_F(ShellEndToEnd, TabClickShowsTheHotkeyPage) {
    ASSERT_NO_FATAL_FAILURE(start());
    const QPoint phraseBox(8 + 112 + 200, 128 + 32 + 12);  // inside 快捷编辑框1
    const WindowGeometry g = geometry();
    EXPECT_EQ(screenshot().pixel(g.x + phraseBox.x(), g.y + phraseBox.y()) & 0xFFFFFF, 0u);
    click(8 + 50, 72 + 40);  // 特定按钮1 "快捷键", below its caption
    ASSERT_TRUE(waitUntil(
        [&] {
            return (screenshot().pixel(g.x + phraseBox.x(), g.y + phraseBox.y()) & 0xFFFFFF) ==
                   0xFFFFFF;
        },
        10s));
    pressEscape();
    EXPECT_EQ(program_->wait(30s), 0) << log();
}

// The data folder's name already taken by a file: the program runs all the
// same and leaves the file alone.
TEST_F(ShellEndToEnd, DataFolderThatIsAFileDoesNotStopTheProgram) {
    std::ofstream(config_ / "Lumivox") << "a file";
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_TRUE(fs::is_regular_file(config_ / "Lumivox"));
    EXPECT_EQ(fs::file_size(config_ / "Lumivox"), 6u);
    pressEscape();
    EXPECT_EQ(program_->wait(30s), 0) << log();
}

}  // namespace
}  // namespace lumivox::testing
