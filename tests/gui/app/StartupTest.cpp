// Start-up: the data folder, the settings stores, the program's folder as
// current directory, and the box shown when the main window cannot be made.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include <QMessageBox>
#include <QTimer>

#include "app/EventWiring.hpp"
#include "base/Encoding.hpp"
#include "base/ProgramEnd.hpp"
#include "base/TextOps.hpp"
#include "GuiTest.hpp"
#include "platform/SystemOps.hpp"

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

// A new account or a container has no configuration folder: it is made, private
// to the user, and then the data folder inside it, so that later saves work.
TEST_F(GuiTest, MissingConfigurationFolderIsMadePrivateWithTheDataFolder) {
    struct Case {
        const char* variable;  // the environment variable pointed at `below`
        const char* below;     // a path below the test's folder, missing so far
        const char* config;    // the configuration folder that must be made
    };
    const Case cases[] = {
        {"XDG_CONFIG_HOME", "new/config", "new/config"},
        {"HOME", "home", "home/.config"},
    };
    const char* home = std::getenv("HOME");
    for (const Case& c : cases) {
        ::unsetenv("XDG_CONFIG_HOME");
        ::setenv(c.variable, (config_ / c.below).c_str(), 1);
        if (std::string_view(c.variable) == "HOME") {
            fs::create_directory(config_ / c.below);
        }
        FormWindow& window = mainWindow();
        EXPECT_TRUE(fs::is_directory(config_ / c.config / "Lumivox")) << c.below;
        EXPECT_EQ(fs::status(config_ / c.config).permissions(), fs::perms::owner_all) << c.below;
        EXPECT_TRUE(writeWholeFile(dataFilePath(kHotkeyPhrasesFile), textToBytes("saved")));
        EXPECT_EQ(readWholeFile(dataFilePath(kHotkeyPhrasesFile)).size(), 5u) << c.below;
        window.close();
        runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
    }
    if (home != nullptr) {
        ::setenv("HOME", home, 1);
    }
}

// A configuration folder whose name is not UTF-8 (a Latin-1 home folder): the
// settings are read from it and saved to it under the same bytes.
TEST_F(GuiTest, DataFolderUnderANameThatIsNotUtf8) {
    const fs::path latin1 = config_ / "caf\xE9";
    fs::create_directories(latin1 / "Lumivox");
    ::setenv("XDG_CONFIG_HOME", latin1.c_str(), 1);
    writeFile(latin1 / "Lumivox" / "快捷键配置.txt", "phrases");
    FormWindow& window = mainWindow();
    EXPECT_EQ(window.text("编辑框快捷配置"), "phrases");
    EXPECT_TRUE(writeWholeFile(dataFilePath(kCustomSongsFile), textToBytes("songs")));
    EXPECT_TRUE(fs::is_regular_file(latin1 / "Lumivox" / "自定义配置.txt"));
}

// The start-up steps run in their order, and each loader only for a settings
// file that gives a non-empty text, after both stores are filled.
TEST_F(GuiTest, StartupStepsRunInOrderAndLoadersOnlyForNonEmptySettings) {
    struct Case {
        const char* name;
        std::optional<std::string> songs, phrases;  // file contents; none: no file
        std::vector<std::string> expected;
    };
    const std::string nulFirst("\0songs", 6);
    const Case cases[] = {
        {"no files", std::nullopt, std::nullopt, {"init", "settings"}},
        {"NUL first", nulFirst, nulFirst, {"init", "settings"}},
        {"songs only", "s", std::nullopt, {"init", "settings", "songs s|"}},
        {"phrases only", nulFirst, "p", {"init", "settings", "phrases |p"}},
        {"both", "s", "p", {"init", "settings", "songs s|p", "phrases s|p"}},
    };
    for (const Case& c : cases) {
        TempDir config;
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        fs::create_directory(config / "Lumivox");
        if (c.songs) {
            writeFile(config / "Lumivox" / "自定义配置.txt", *c.songs);
        }
        if (c.phrases) {
            writeFile(config / "Lumivox" / "快捷键配置.txt", *c.phrases);
        }
        std::vector<std::string> ran;
        auto record = [&ran](const char* step) {
            return [&ran, step](Window& window) {
                ran.push_back(step + (" " + window.text("编辑框自定义配置") + "|" +
                                      window.text("编辑框快捷配置")));
            };
        };
        const StartupSteps steps{
            .initDownloadTask = [&] { ran.push_back("init"); },
            .releaseDownloadTask = [&] { ran.push_back("release"); },
            .loadCustomSongs = record("songs"),
            .loadHotkeyPhrases = record("phrases"),
            // lumivox.ini is sent to the subsystems before the loaders run.
            .applySettings = [&] { ran.push_back("settings"); },
        };
        std::vector<Binding> wiring = eventWiring();
        for (Binding& binding : wiring) {
            if (binding.window == layout::kMainWindow && binding.kind == EventKind::Created) {
                binding.handler = [&steps](Window& window, const Event&) {
                    onMainWindowCreated(window, steps);
                };
            }
        }
        {
            FormRuntime runtime(layout::findProgramLayout, wiring);
            EXPECT_EQ(startProgram(runtime, layout::kMainWindow, steps), 0) << c.name;
            EXPECT_EQ(ran, c.expected) << c.name;
        }
        // The release is left for the end of the program.
        runProgramEndRoutines();
        EXPECT_EQ(ran.back(), "release") << c.name;
        EXPECT_EQ(ran.size(), c.expected.size() + 1) << c.name;
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
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
