// The song slots on the real main window (offscreen): what the settings file
// holds, byte for byte, after choosing or cancelling in Qt's own dialog, and
// what odd settings files load as.
#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/EventWiring.hpp"
#include "base/Encoding.hpp"
#include "sound/CustomSongSlots.hpp"
#include "tests/gui/app/GuiTest.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;

// The separator spelled out independently of the code: six U+FFE5 then seven %.
const std::string kSep = utf8ToGbk("￥￥￥￥￥￥%%%%%%%");
const std::string kPlaceholder = utf8ToGbk("亲，你还没有选择场景音哦！点击我！选择歌曲！");
const std::string kNone = utf8ToGbk("无");

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// 36 fields, each followed by the separator.
std::string settings(const std::vector<std::string>& fields) {
    std::string text;
    for (const std::string& field : fields) {
        text += field + kSep;
    }
    return text;
}

// Slots as written by a save where none was chosen: placeholder captions, the
// first path "无", then `changes` (field index 0..35 -> text).
std::vector<std::string> untouchedFields(std::map<int, std::string> changes = {}) {
    std::vector<std::string> fields;
    for (int slot = 1; slot <= 18; ++slot) {
        fields.push_back(kPlaceholder);
        fields.push_back(slot == 1 ? kNone : "");
    }
    for (const auto& [index, text] : changes) {
        fields[static_cast<std::size_t>(index)] = text;
    }
    return fields;
}

class SongSlots : public GuiTest {
  protected:
    fs::path settingsFile() const { return config_.path() / "Lumivox" / "自定义配置.txt"; }

    // Presses slot n's name; the dialog that opens picks `file` (Cancel when empty).
    void choose(Window& window, int slot, const fs::path& file) {
        QTimer driver;
        driver.setInterval(10);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            driver.stop();
            if (file.empty()) {
                dialog->reject();
            } else {
                dialog->selectFile(QString::fromStdString(file.string()));
                static_cast<QDialog*>(dialog)->accept();  // QDialog makes it public
            }
        });
        driver.start();
        int number = 0;
        const std::string name = "自定义歌曲名字" + std::to_string(slot);
        const Binding* binding = findBinding(eventWiring(), layout::kMainWindow, name,
                                             EventKind::LeftButtonDown, &number);
        ASSERT_NE(binding, nullptr);
        binding->handler(window, Event{EventKind::LeftButtonDown, name, number});
    }

    fs::path songFile(const std::string& relative) {
        const fs::path path = songs_.path() / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "not really a song";
        return path;
    }

    std::string gbk(const fs::path& path) const { return utf8ToGbk(path.string()); }

    TempDir songs_;
};

TEST_F(SongSlots, FirstRunWritesNothingAndShowsThePlaceholders) {
    FormWindow& window = mainWindow();
    EXPECT_FALSE(fs::exists(settingsFile()));
    for (int slot = 1; slot <= 18; ++slot) {
        EXPECT_EQ(window.caption("自定义歌曲名字" + std::to_string(slot)), kPlaceholder);
        EXPECT_EQ(window.text("编辑框自定义地址" + std::to_string(slot)), "");
    }
}

// The saved bytes after a sequence of choices and cancels, from a first run.
TEST_F(SongSlots, SavedFileHoldsEveryFieldByteForByte) {
    const fs::path deep = songFile("歌单/现场/掌声.mp3");
    const fs::path other = songFile("b.mp3");
    struct Step {
        int slot;
        fs::path file;  // empty: Cancel
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::map<int, std::string> changes;  // against untouchedFields()
    };
    const std::vector<Case> cases = {
        {"slot 3, two folders deep", {{3, deep}}, {{4, utf8ToGbk("掌声.mp3")}, {5, gbk(deep)}}},
        {"cancel before any choice empties the slot, then the placeholders return", {{5, {}}}, {}},
        {"cancel after a choice copies the last file chosen; each save fills one more empty path",
         {{2, other}, {7, {}}},
         {{2, "b.mp3"}, {3, gbk(other)}, {5, kNone}, {12, "b.mp3"}, {13, gbk(other)}}},
        {"the second empty path stays empty once the first is filled",
         {{1, other}},
         {{0, "b.mp3"}, {1, gbk(other)}, {3, kNone}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(settingsFile());
        runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
        FormWindow& window = mainWindow();
        for (const Step& step : c.steps) {
            choose(window, step.slot, step.file);
        }
        EXPECT_EQ(fileText(settingsFile()), settings(untouchedFields(c.changes)));
    }
}

// Slot 1 chosen on a first run: the bytes of the shared fixture, the path
// written where it says "<path>". The Windows build's end-to-end test holds
// Lumivox.exe's file to the same fixture, so both builds write the same bytes.
TEST_F(SongSlots, OneChoiceWritesTheBytesOfTheSharedFixture) {
    const fs::path song = songFile("slot.mp3");
    choose(mainWindow(), 1, song);
    std::string saved = fileText(settingsFile());
    const std::size_t at = saved.find(gbk(song));
    ASSERT_NE(at, std::string::npos);
    saved.replace(at, gbk(song).size(), "<path>");
    EXPECT_EQ(saved, fileText(sourceDir() / "tests/fixtures/song_slot_1_settings.txt"));
}

TEST_F(SongSlots, CancelledSlotShowsNothingUntilTheSaveRefillsItsCaption) {
    FormWindow& window = mainWindow();
    window.setCaption("自定义歌曲名字1", "");  // slot 1 empty: it gets the placeholder instead
    choose(window, 4, {});
    EXPECT_EQ(window.caption("自定义歌曲名字1"), kPlaceholder);
    EXPECT_EQ(window.caption("自定义歌曲名字4"), "");
    EXPECT_EQ(window.text("编辑框自定义地址4"), "");
    EXPECT_EQ(window.text("编辑框自定义地址1"), kNone);
}

// What a settings file loads as at start-up; the program runs on in every case.
TEST_F(SongSlots, OddSettingsFilesLoadWithoutHarm) {
    std::vector<std::string> full;
    for (int i = 1; i <= 36; ++i) {
        full.push_back("f" + std::to_string(i));
    }
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> expected;  // 36 fields after loading
    };
    std::vector<std::string> initial;
    for (int slot = 1; slot <= 18; ++slot) {
        initial.push_back(kPlaceholder);
        initial.push_back("");
    }
    auto with = [&](std::vector<std::string> base, std::map<int, std::string> changes) {
        for (const auto& [index, text] : changes) {
            base[static_cast<std::size_t>(index)] = text;
        }
        return base;
    };
    std::vector<std::string> shifted = full;
    shifted.insert(shifted.begin() + 1, "tail");  // "f1<sep>tail" in a name moves the rest
    shifted.pop_back();
    const std::vector<Case> cases = {
        {"36 fields", settings(full), full},
        {"fields past the 36th are ignored", settings(full) + "f37" + kSep + "f38", full},
        {"fewer fields fill the first slots; the rest keep their start",
         "n1" + kSep + "p1" + kSep + "n2", with(initial, {{0, "n1"}, {1, "p1"}, {2, "n2"}})},
        {"no separator at all: one name", "just text", with(initial, {{0, "just text"}})},
        {"a NUL ends the text", "n1" + kSep + std::string("p\0x", 3) + kSep + "n2" + kSep,
         with(initial, {{0, "n1"}, {1, "p"}})},
        {"a separator inside a name moves every later field",
         settings({"f1" + kSep + "tail"}) + settings({full.begin() + 1, full.end()}), shifted},
        {"empty fields stay empty", settings(std::vector<std::string>(36, "")),
         std::vector<std::string>(36, "")},
        {"a half separator is text", "a\xA3\xA4%b", with(initial, {{0, "a\xA3\xA4%b"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(settingsFile().parent_path());
        std::ofstream(settingsFile(), std::ios::binary) << c.file;
        runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
        FormWindow& window = mainWindow();
        for (int slot = 1; slot <= 18; ++slot) {
            const auto k = static_cast<std::size_t>(2 * slot - 2);
            EXPECT_EQ(window.caption("自定义歌曲名字" + std::to_string(slot)), c.expected[k])
                << "slot " << slot;
            EXPECT_EQ(window.text("编辑框自定义地址" + std::to_string(slot)), c.expected[k + 1])
                << "slot " << slot;
        }
    }
}

TEST_F(SongSlots, SavedSlotsComeBackAfterARestart) {
    const fs::path song = songFile("x/y.mp3");
    {
        FormWindow& window = mainWindow();
        choose(window, 18, song);
        window.setCaption("自定义歌曲名字9", "");
        choose(window, 2, {});  // copies y.mp3 into slot 2; slot 9's empty caption is refilled
    }
    const std::string saved = fileText(settingsFile());
    runtime_ = std::make_unique<FormRuntime>(layout::findProgramLayout, eventWiring());
    FormWindow& window = mainWindow();
    std::string reloaded;
    for (int slot = 1; slot <= 18; ++slot) {
        reloaded += window.caption("自定义歌曲名字" + std::to_string(slot)) + kSep;
        reloaded += window.text("编辑框自定义地址" + std::to_string(slot)) + kSep;
    }
    EXPECT_EQ(reloaded, saved);
    EXPECT_EQ(window.text("编辑框自定义地址2"), gbk(song));
}

}  // namespace
}  // namespace lumivox::testing
