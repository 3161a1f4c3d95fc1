// The phrase settings file on the real main window: the bytes a save writes,
// and what start-up makes of files as the program writes them and as it does not.
#include <filesystem>
#include <fstream>

#include "app/EventWiring.hpp"
#include "base/Encoding.hpp"
#include "hotkeys/PhraseSettings.hpp"
#include "tests/gui/app/GuiTest.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using Phrases = std::vector<std::string>;  // UTF-8, as many boxes as given

const std::string kSeparator(kSettingsSeparator);
const std::string kPlaceholder = utf8ToGbk("还没有设置");

std::string box(int n) {
    return "快捷编辑框" + std::to_string(n);
}

// The file's bytes for twelve GBK phrases.
std::string fileOf(const std::vector<std::string>& gbk) {
    std::string bytes;
    for (const std::string& phrase : gbk) {
        bytes += phrase + kSeparator;
    }
    return bytes;
}

class PhraseSettings : public GuiTest {
  protected:
    fs::path file() const { return config_ / "Lumivox" / "快捷键配置.txt"; }
    std::string fileBytes() const {
        std::ifstream in(file(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void writeFileBytes(const std::string& bytes) {
        fs::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << bytes;
    }
    // The click of 保存配置按钮 as the wiring binds it.
    void clickSave(Window& window) {
        const Binding* save =
            findBinding(eventWiring(), layout::kMainWindow, "保存配置按钮", EventKind::Clicked);
        ASSERT_TRUE(save != nullptr && save->handler);
        save->handler(window, Event{.kind = EventKind::Clicked, .control = "保存配置按钮"});
    }
    std::vector<std::string> boxes(Window& window) {
        std::vector<std::string> texts;
        for (int n = 1; n <= 12; ++n) {
            texts.push_back(window.text(box(n)));
        }
        return texts;
    }
};

TEST_F(PhraseSettings, SaveWritesTwelvePhrasesEachFollowedByTheSeparator) {
    const std::string a = utf8ToGbk("大家好"), b = utf8ToGbk("第一行\r\n第二行");
    const std::string p = kPlaceholder;
    struct Case {
        const char* what;
        std::vector<std::string> before;  // GBK, twelve
        int saves;
        std::vector<std::string> after;
    };
    const std::vector<std::string> empty(12);
    const Case cases[] = {
        {"all empty: the first box gets the placeholder",
         empty,
         1,
         {p, "", "", "", "", "", "", "", "", "", "", ""}},
        {"each save fills one more empty box, in order",
         empty,
         3,
         {p, p, p, "", "", "", "", "", "", "", "", ""}},
        {"empty phrases between others: only the first is filled",
         {a, "", b, a, "", b, a, b, a, b, a, ""},
         1,
         {a, p, b, a, "", b, a, b, a, b, a, ""}},
        {"no empty box: saved as it is",
         {a, b, a, b, a, b, a, b, a, b, a, b},
         2,
         {a, b, a, b, a, b, a, b, a, b, a, b}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
        FormWindow& window = mainWindow();
        for (int n = 1; n <= 12; ++n) {
            window.setText(box(n), c.before[static_cast<std::size_t>(n - 1)]);
        }
        for (int i = 0; i < c.saves; ++i) {
            clickSave(window);
        }
        EXPECT_EQ(boxes(window), c.after);
        EXPECT_EQ(fileBytes(), fileOf(c.after));
        EXPECT_EQ(window.text("编辑框快捷配置"), fileOf(c.after));
    }
    // The shortest file the program writes.
    runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
    FormWindow& window = mainWindow();
    for (int n = 1; n <= 12; ++n) {
        window.setText(box(n), "");
    }
    clickSave(window);
    EXPECT_EQ(fileBytes().size(), 238u);
    EXPECT_EQ(fileBytes().substr(0, 29),
              "\xBB\xB9\xC3\xBB\xD3\xD0\xC9\xE8\xD6\xC3"
              "\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4\xA3\xA4%%%%%%%");
}

TEST_F(PhraseSettings, TwelvePhrasesSurviveARestart) {
    std::vector<std::string> phrases;
    for (int n = 1; n <= 12; ++n) {
        phrases.push_back(utf8ToGbk("第" + std::to_string(n) + "句\r\n欢迎 😀 ¥100 €"));
    }
    {
        FormWindow& window = mainWindow();
        for (int n = 1; n <= 12; ++n) {
            window.setText(box(n), phrases[static_cast<std::size_t>(n - 1)]);
        }
        clickSave(window);
    }
    EXPECT_EQ(fileBytes(), fileOf(phrases));
    EXPECT_NE(fileBytes().find("\x94\x39\xFC\x36"), std::string::npos);  // 😀 in GB18030
    runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
    EXPECT_EQ(boxes(mainWindow()), phrases);
}

TEST_F(PhraseSettings, StartUpLoadsOddFilesFieldByField) {
    const std::string s = kSeparator;
    auto twelve = [](const std::string& prefix) {
        std::vector<std::string> texts;
        for (int n = 1; n <= 12; ++n) {
            texts.push_back(prefix + std::to_string(n));
        }
        return texts;
    };
    const std::vector<std::string> p = twelve("p");
    struct Case {
        const char* what;
        std::string file;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"as written", fileOf(p), p},
        {"more than twelve fields: the first twelve", fileOf(p) + "p13" + s + "p14" + s, p},
        {"fewer than twelve: the others stay empty",
         "a" + s + s + "c" + s,
         {"a", "", "c", "", "", "", "", "", "", "", "", ""}},
        {"no final separator: the last phrase still loads",
         fileOf(p).substr(0, fileOf(p).size() - s.size()), p},
        {"the last phrase empty",
         fileOf({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", ""}),
         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", ""}},
        {"a NUL byte ends the text",
         "a" + s + "b" + std::string(1, '\0') + "c" + s + "d" + s,
         {"a", "b", "", "", "", "", "", "", "", "", "", ""}},
        {"a separator inside a phrase moves the later ones down",
         "p1" + s + "x" + s + "y" + s + "p3" + s + "p4" + s + "p5" + s + "p6" + s + "p7" + s +
             "p8" + s + "p9" + s + "p10" + s + "p11" + s + "p12" + s,
         {"p1", "x", "y", "p3", "p4", "p5", "p6", "p7", "p8", "p9", "p10", "p11"}},
        {"separator bytes that start inside a two-byte character do not count",
         "\x81" + s + s,
         {"\x81" + s, "", "", "", "", "", "", "", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFileBytes(c.file);
        runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
        EXPECT_EQ(boxes(mainWindow()), c.boxes);
    }
}

}  // namespace
}  // namespace lumivox::testing
