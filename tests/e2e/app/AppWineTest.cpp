// Lumivox.exe under Wine on a private X screen (scripts/wine-with-display), its
// version file served by nginx (scripts/wine-with-nginx): the first start, what
// the screen shows of each page at 100 % and at the higher scales a prefix's
// DPI gives, and Esc ending it. Argument: the program. (Its start-up time beside
// a minimal Win32 window is a benchmark: bench/app/StartupWineBench.cpp.)
// With LUMIVOX_SCREENSHOT_DIR set, the pages and the decoded pictures are saved
// there as BMP files for the comparison with the Linux build.
#include <windows.h>
// After windows.h, whose types it uses.
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "forms/win32/Win32Dpi.hpp"
#include "forms/win32/Win32Pictures.hpp"
#include "platform/DataFolder.hpp"
#include "platform/windows/WideText.hpp"
#include "tests/e2e/app/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string programPath;

fs::path screenshotDir() {
    const char* dir = std::getenv("LUMIVOX_SCREENSHOT_DIR");
    return dir != nullptr ? fs::path(windowsPath(dir)) : fs::path();
}

class WineProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* root = std::getenv("LUMIVOX_NGINX_ROOT");
        const char* url = std::getenv("LUMIVOX_NGINX_URL");
        ASSERT_TRUE(root != nullptr && url != nullptr) << "run through scripts/wine-with-nginx";
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through scripts/wine-with-display";
        ASSERT_FALSE(programPath.empty());
        // A version that is not this one's: the program runs on after its check.
        std::ofstream(fs::path(windowsPath(root)) / "111.txt", std::ios::binary)
            << "2---http://127.0.0.1:1/none.exe---Lumivox";
        std::string host = url;
        host.erase(0, host.find("//") + 2);
        SetEnvironmentVariableW(L"LUMIVOX_SERVER", platform::widen(host).c_str());
    }

    // Starts the program and waits until its window is shown and painted.
    HWND start(Started& program, int dpi = win32::kLayoutDpi) {
        EXPECT_TRUE(program.ok());
        SetCursorPos(0, 0);  // the pointer over no control of it
        HWND window = program.waitForWindow(L"LumivoxV1.0", 60s);
        EXPECT_NE(window, nullptr) << "the window did not appear";
        if (window == nullptr) {
            return nullptr;
        }
        // Shown is not yet painted: wait for the tab row.
        EXPECT_TRUE(waitUntil(
            [&] { return capture(window).at(win32::scaled(58, dpi), win32::scaled(72 + 40, dpi)) != 0; },
            30s));
        return window;
    }

    TempDir elsewhere_;
};

// The DPI of the Wine prefix's screen while it lives (Wine reads it as each
// program starts); the earlier setting back after.
class PrefixDpi {
  public:
    explicit PrefixDpi(int dpi) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
        DWORD size = sizeof(earlier_);
        had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr,
                                reinterpret_cast<BYTE*>(&earlier_), &size) == ERROR_SUCCESS;
        const DWORD value = static_cast<DWORD>(dpi);
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
    }
    ~PrefixDpi() {
        if (had_) {
            RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&earlier_), sizeof(earlier_));
        } else {
            RegDeleteValueW(key_, L"LogPixels");
        }
        RegCloseKey(key_);
    }
    PrefixDpi(const PrefixDpi&) = delete;
    PrefixDpi& operator=(const PrefixDpi&) = delete;

  private:
    HKEY key_ = nullptr;
    DWORD earlier_ = 0;
    bool had_ = false;
};

// How many pixels of a part of a picture do not show as they should where the
// picture lies in the client area at that DPI: the picture as the program
// scales it exactly (at 96 DPI its decoded pixels), the ones of its key colour
// as the black background. Places and the part in the layout's pixels. -1 when
// the picture is missing.
int differingPixels(const Image& screen, const char* asset, layout::Colour key, int left, int top,
                    RECT part, int dpi = win32::kLayoutDpi) {
    const win32::Picture* decoded = win32::embeddedPicture(asset);
    if (decoded == nullptr) {
        return -1;
    }
    const win32::Picture picture = win32::keyedAt(*decoded, key, dpi);
    using win32::scaled;
    int differing = 0;
    for (int y = scaled(part.top, dpi); y < scaled(part.bottom, dpi); ++y) {
        for (int x = scaled(part.left, dpi); x < scaled(part.right, dpi); ++x) {
            const std::uint32_t pixel =
                picture.pixels[static_cast<size_t>(y) * picture.width + x] & 0xFFFFFFu;
            differing += screen.at(scaled(left, dpi) + x, scaled(top, dpi) + y) != pixel;
        }
    }
    return differing;
}

void expectPictureAt(const Image& screen, const char* asset, layout::Colour key, int left, int top,
                     RECT part) {
    EXPECT_EQ(differingPixels(screen, asset, key, left, top, part), 0) << asset;
}

TEST_F(WineProgram, FirstStartShowsTheWindowAndEndsWithEscape) {
    const fs::path data = fs::path(platform::widen(platform::dataFolder()));
    std::error_code ignored;
    fs::remove_all(data, ignored);
    ASSERT_FALSE(fs::exists(data));

    Started program(programPath, elsewhere_.path());
    HWND window = start(program);
    ASSERT_NE(window, nullptr);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, kClientWidth);
    EXPECT_EQ(client.bottom, kClientHeight);
    // A fixed frame with a caption bar, close and minimize buttons. (The icon
    // is asked of the runtime's own windows in app_win32_gui_tests: Wine
    // answers WM_GETICON from another process with none.)
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    // The data folder is made; no settings file is.
    ASSERT_TRUE(fs::is_directory(data)) << data;
    EXPECT_TRUE(fs::is_empty(data));

    const Image screen = settled(window);
    // 特定按钮2 at 112,72: below its caption the outside tab picture, black left out.
    expectPictureAt(screen, "pictures/tab_out.jpg", layout::kBlack, 112, 72, {0, 36, 100, 45});
    // 官方音按钮1 on the sound page (8,128 + 8,16): the bar's ends, and the black
    // strip under it.
    expectPictureAt(screen, "pictures/bar.jpg", layout::kBlack, 16, 144, {0, 0, 10, 30});
    expectPictureAt(screen, "pictures/bar.jpg", layout::kBlack, 16, 144, {86, 0, 96, 30});
    for (int x = 0; x < 96; ++x) {
        ASSERT_EQ(screen.at(16 + x, 144 + 31), 0u);
    }
    // The banner: dark, lit by magenta and red streaks (red and blue above green).
    long red = 0, green = 0, blueSum = 0;
    for (int y = 0; y < 72; ++y) {
        for (int x = 0; x < kClientWidth; ++x) {
            const std::uint32_t p = screen.at(x, y);
            red += (p >> 16) & 0xFF, green += (p >> 8) & 0xFF, blueSum += p & 0xFF;
        }
    }
    EXPECT_LT((red + green + blueSum) / 3 / (72 * kClientWidth), 110);
    EXPECT_GT(red, 2 * green);
    EXPECT_GT(blueSum, 2 * green);
    // The window's own background below the pages is black.
    EXPECT_EQ(screen.at(3, 590), 0u);

    pressEscape(window);
    EXPECT_EQ(program.waitForExit(30s), 0);
}

// At 100 % and at each scale a prefix's DPI gives (125, 150, 200 %): the
// client area exactly scaled, clicks at scaled places switch the pages, the
// tab pictures as the program scales them and their mouse-over look. With
// LUMIVOX_SCREENSHOT_DIR, each page at each scale is saved.
TEST_F(WineProgram, EachPageAtEachScaleAsTheHostSeesIt) {
    const fs::path shots = screenshotDir();
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("DPI " + std::to_string(dpi));
        const auto at = [dpi](int length) { return win32::scaled(length, dpi); };
        const std::string scale =
            dpi == win32::kLayoutDpi ? "" : "-" + std::to_string(dpi * 100 / 96);
        auto save = [&](const std::string& name, const Image& image) {
            if (!shots.empty()) {
                saveBmp(shots / (name + scale + ".bmp"), image.width, image.height,
                        image.pixels.data());
            }
        };
        const PrefixDpi prefixDpi(dpi);
        Started program(programPath, elsewhere_.path());
        HWND window = start(program, dpi);
        ASSERT_NE(window, nullptr);
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, at(kClientWidth));
        EXPECT_EQ(client.bottom, at(kClientHeight));

        const Image sound = settled(window);
        save("sound-effects", sound);
        // Inside 快捷编辑框1 of the hidden hotkey page: the sound page's black.
        const int boxX = 8 + 112 + 200, boxY = 128 + 32 + 12;
        EXPECT_EQ(sound.at(at(boxX), at(boxY)), 0u);
        // 官方音按钮1 (8,128 + 8,16): the bar's ends as scaled.
        EXPECT_EQ(differingPixels(sound, "pictures/bar.jpg", layout::kBlack, 16, 144,
                                  {0, 0, 10, 30}, dpi),
                  0);

        // 特定按钮3 "自定音": the song page, its play buttons blue around the picture.
        clickAt(window, at(216 + 50), at(72 + 40));
        ASSERT_TRUE(waitUntil(
            [&] { return capture(window).at(at(8 + 88 + 1), at(128 + 16 + 1)) != 0; }, 10s));
        save("song-slots", settled(window));

        // 特定按钮1 "快捷键": the hotkey page, its phrase boxes white.
        clickAt(window, at(8 + 50), at(72 + 40));
        ASSERT_TRUE(
            waitUntil([&] { return capture(window).at(at(boxX), at(boxY)) == 0xFFFFFFu; }, 10s));
        save("hotkey-phrases", settled(window));

        // The mouse over a tab shows its second picture (blue left out); leaving
        // it, the first again.
        const layout::Colour blue = layout::rgb(0x00, 0x88, 0xFF);
        const RECT belowCaption{0, 36, 100, 45};
        POINT over{at(320 + 50), at(72 + 40)};
        ClientToScreen(window, &over);
        SetCursorPos(over.x, over.y);
        EXPECT_TRUE(waitUntil(
            [&] {
                return differingPixels(capture(window), "pictures/tab_in.jpg", blue, 320, 72,
                                       belowCaption, dpi) == 0;
            },
            5s));
        SetCursorPos(0, 0);
        EXPECT_TRUE(waitUntil(
            [&] {
                return differingPixels(capture(window), "pictures/tab_out.jpg", layout::kBlack,
                                       320, 72, belowCaption, dpi) == 0;
            },
            5s));
        pressEscape(window);
        EXPECT_EQ(program.waitForExit(30s), 0);
    }

    if (!shots.empty()) {
        // The pictures as WIC decodes them, for the comparison with libjpeg's.
        for (const char* asset : {"bar", "tab_out", "tab_in", "play", "stop", "banner"}) {
            const std::string name = std::string("pictures/") + asset + ".jpg";
            const win32::Picture* picture = win32::embeddedPicture(name);
            ASSERT_NE(picture, nullptr) << name;
            saveBmp(shots / (std::string("decoded-") + asset + ".bmp"), picture->width,
                    picture->height, picture->pixels.data());
        }
    }
}

}  // namespace
}  // namespace lumivox::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) {
        lumivox::testing::programPath = argv[1];
    }
    lumivox::testing::makeDpiAware();
    // The picture checks decode through WIC, as the program does.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return RUN_ALL_TESTS();
}
