// Start-up: the data folder, the settings stores, the program's folder as
// current directory, and the box shown when the main window cannot be made.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QMessageBox>
#include <QTimer>

#include "GuiTest.hpp"
#include "util/Encoding.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST_F(GuiTest, FirstStartMakesTheFolderAndNoFile) {
    FormWindow& window = mainWindow();
    const fs::path folder = config_ / "Lumivox";
    ASSERT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(window.text("编辑框自定义配置"), "");
    EXPECT_EQ(window.text("编辑框快捷配置"), "");
    EXPECT_EQ(gbkToUtf8(dataFolder()), folder.string());
}

TEST_F(GuiTest, SettingsFilesFillTheirStoresUpToTheFirstNul) {
    const fs::path folder = config_ / "Lumivox";
    fs::create_directory(folder);
    const Text phrases = utf8ToGbk("第一句￥￥￥￥￥￥%%%%%%%\r\n第二句😀");
    writeFile(folder / "快捷键配置.txt", phrases);
    writeFile(folder / "自定义配置.txt", std::string("abc\0def", 7));
    FormWindow& window = mainWindow();
    EXPECT_EQ(window.text("编辑框快捷配置"), phrases);
    EXPECT_EQ(window.text("编辑框自定义配置"), "abc");
}

TEST_F(GuiTest, SettingsFileOfOnlyANulReadsEmpty) {
    const fs::path folder = config_ / "Lumivox";
    fs::create_directory(folder);
    writeFile(folder / "自定义配置.txt", std::string("\0rest", 5));
    FormWindow& window = mainWindow();
    EXPECT_EQ(window.text("编辑框自定义配置"), "");
}

// The data folder's name taken by a file: nothing is made, both stores stay empty.
TEST_F(GuiTest, DataFolderThatIsAFileLeavesTheStoresEmpty) {
    writeFile(config_ / "Lumivox", "not a folder");
    FormWindow& window = mainWindow();
    EXPECT_TRUE(fs::is_regular_file(config_ / "Lumivox"));
    EXPECT_EQ(fs::file_size(config_ / "Lumivox"), 12u);
    EXPECT_EQ(window.text("编辑框自定义配置"), "");
    EXPECT_EQ(window.text("编辑框快捷配置"), "");
}

// Only one level is made: a configuration folder that does not exist stays so.
TEST_F(GuiTest, DataFolderIsMadeOneLevelOnly) {
    ::setenv("XDG_CONFIG_HOME", (config_ / "missing").c_str(), 1);
    mainWindow();
    EXPECT_FALSE(fs::exists(config_ / "missing"));
}

TEST_F(GuiTest, DataFolderDefaultsToTheHomeConfigFolder) {
    ::unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    ::setenv("HOME", config_.path().c_str(), 1);
    EXPECT_EQ(gbkToUtf8(dataFolder()), (config_ / ".config/Lumivox").string());
    EXPECT_EQ(gbkToUtf8(dataFilePath(kHotkeyPhrasesFile)),
              (config_ / ".config/Lumivox/快捷键配置.txt").string());
    if (home != nullptr) {
        ::setenv("HOME", home, 1);
    }
}

TEST_F(GuiTest, StartupEntersTheProgramFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(config_.path());
    EXPECT_EQ(startProgram(*runtime_, layout::kMainWindow), 0);
    EXPECT_EQ(fs::current_path(), fs::read_symlink("/proc/self/exe").parent_path());
    EXPECT_NE(runtime_->openWindow(layout::kMainWindow), nullptr);
    fs::current_path(before);
}

TEST_F(GuiTest, MainWindowThatCannotBeMadeShowsTheErrorBox) {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                box->accept();
            }
        }
    });
    closer.start(20);
    EXPECT_EQ(startProgram(*runtime_, "没有这个窗口"), -1);
    EXPECT_EQ(title, QStringLiteral("错误"));
    EXPECT_EQ(text, QStringLiteral("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    // No settings were read, so no data folder was made.
    EXPECT_FALSE(fs::exists(config_ / "Lumivox"));
}

}  // namespace
}  // namespace lumivox::testing
