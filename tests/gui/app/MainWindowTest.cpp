// The main window as laid out: controls at their places, initial states, page
// tabs, text stores and the keyboard.
#include <filesystem>
#include <fstream>

#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "base/Encoding.hpp"
#include "forms/qt/ImageButton.hpp"
#include "forms/qt/TransparentLabel.hpp"
#include "GuiTest.hpp"

namespace lumivox::testing {
namespace {

QWidget* control(FormWindow& window, const char* name) {
    return window.controlWidget(name);
}

TEST_F(GuiTest, MainWindowIsFixedWithCloseAndMinimizeOnly) {
    FormWindow& window = mainWindow();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("LumivoxV1.0"));
    EXPECT_EQ(window.minimumSize(), QSize(637, 593));
    EXPECT_EQ(window.maximumSize(), QSize(637, 593));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(Qt::black));
    // The program's icon in its five sizes, shown by every window without its own.
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    for (int size : {16, 32, 48, 64, 128}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    }
}

// Every control of the catalogue, the unused stores included, and the settings
// window's button (363 in all).
TEST_F(GuiTest, MainWindowHasEveryControlOfTheCatalogue) {
    FormWindow& window = mainWindow();
    int widgets = 0;
    for (const layout::Control& spec : layout::expandControls(layout::mainWindowLayout())) {
        ASSERT_TRUE(window.hasControl(spec.name)) << spec.name;
        widgets += window.controlWidget(spec.name) != nullptr;
    }
    EXPECT_EQ(layout::expandControls(layout::mainWindowLayout()).size(), 363u);
    EXPECT_EQ(widgets, 363 - 2);  // all but the timer and the open-file dialog
    EXPECT_NE(window.controlTimer("时钟1"), nullptr);
    EXPECT_FALSE(window.hasControl("官方音按钮53"));
}

struct Placement {
    const char* name;
    const char* parent;  // "" for the window
    QRect geometry;
    bool visible;
};

// Positions worked out from the catalogue's grid rules, at the ends of each series.
const Placement kPlacements[] = {
    {"图片框2", "", {0, 0, 688, 72}, true},
    {"特定按钮1", "", {8, 72, 100, 45}, true},
    {"特定按钮6", "", {528, 72, 100, 45}, true},
    {"图片框3", "", {8, 128, 640, 456}, true},
    {"图片框1", "", {8, 128, 640, 456}, false},
    {"图片框4", "", {8, 128, 640, 456}, false},
    {"官方音按钮1", "图片框3", {8, 16, 96, 32}, true},
    {"官方音按钮8", "图片框3", {112, 56, 96, 32}, true},
    {"官方音按钮48", "图片框3", {528, 296, 96, 32}, true},
    {"官方音按钮52", "图片框3", {320, 336, 96, 32}, true},
    {"透明标签2", "图片框3", {24, 376, 616, 16}, true},
    {"自定义歌曲名字1", "图片框1", {8, 16, 72, 48}, true},
    {"自定义歌曲名字8", "图片框1", {208, 80, 72, 48}, true},
    {"自定义播放按钮18", "图片框1", {488, 336, 50, 50}, true},
    {"自定义停止按钮6", "图片框1", {144, 336, 50, 50}, true},
    {"透明标签1", "图片框1", {96, 392, 392, 16}, true},
    {"透明标签4", "图片框4", {32, 8, 528, 24}, true},
    {"透明标签F1", "图片框4", {24, 32, 72, 24}, true},
    {"透明标签F9", "图片框4", {24, 288, 72, 24}, true},
    {"透明标签F10", "图片框4", {16, 320, 88, 24}, true},
    {"透明标签F12", "图片框4", {16, 384, 96, 24}, true},
    {"快捷编辑框12", "图片框4", {112, 384, 448, 24}, true},
    {"透明标签3", "图片框4", {48, 424, 200, 24}, true},
    {"保存配置按钮", "图片框4", {256, 416, 96, 32}, true},
    {"保存配置按钮2", "图片框4", {464, 416, 96, 32}, true},
    {"进度条1", "图片框4", {0, 32, 16, 16}, false},
    {"编辑框更新", "", {344, 600, 48, 32}, true},
    {"编辑框更新连接", "", {456, 592, 40, 40}, true},
    {"编辑框软件名字", "", {560, 600, 56, 24}, true},
    {"标签1", "", {360, 712, 32, 24}, true},
    {"分组框1", "", {64, 704, 48, 40}, false},
    {"编辑框自定义配置", "分组框1", {56, 8, 64, 24}, true},
    {"编辑框自定义地址1", "分组框1", {8, 16, 16, 16}, true},
    {"编辑框自定义地址18", "分组框1", {8, 8, 16, 16}, true},
    {"编辑框官方歌曲", "分组框2", {32, 8, 24, 24}, true},
    {"编辑框快捷配置", "分组框3", {48, 8, 32, 24}, true},
    {"编辑框官方下载地址60", "分组框3", {8, 8, 16, 16}, true},
};

TEST_F(GuiTest, ControlsStandWhereTheCatalogueSays) {
    FormWindow& window = mainWindow();
    for (const Placement& expected : kPlacements) {
        SCOPED_TRACE(expected.name);
        QWidget* widget = control(window, expected.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), expected.geometry);
        EXPECT_EQ(window.visible(expected.name), expected.visible);
        QWidget* parent = widget->parentWidget();
        EXPECT_EQ(parent == &window ? QString() : parent->objectName(),
                  QString::fromUtf8(expected.parent));
    }
    // The update stores lie at or below the bottom edge: at most a one-pixel strip shows.
    EXPECT_FALSE(window.rect().intersects(control(window, "编辑框更新")->geometry()));
    EXPECT_EQ(window.rect().intersected(control(window, "编辑框更新连接")->geometry()).height(), 1);
}

TEST_F(GuiTest, ControlsStartWithTheirKindsCaptionsAndTexts) {
    FormWindow& window = mainWindow();
    const std::pair<const char*, const char*> captions[] = {
        {"特定按钮1", "快捷键"},
        {"特定按钮4", "招聘主播"},
        {"官方音按钮1", "QQ消息音"},
        {"官方音按钮51", "停止播放"},
        {"官方音按钮52", "官方网站"},
        {"透明标签F11", "快捷键F11："},
        {"保存配置按钮1", "开启热键"},
        {"自定义播放按钮1", ""},
        {"自定义歌曲名字18", "亲，你还没有选择场景音哦！点击我！选择歌曲！"},
    };
    for (const auto& [name, caption] : captions) {
        EXPECT_EQ(window.caption(name), utf8ToGbk(caption)) << name;
    }
    EXPECT_NE(qobject_cast<ImageButton*>(control(window, "自定义停止按钮3")), nullptr);
    EXPECT_NE(qobject_cast<TransparentLabel*>(control(window, "透明标签F3")), nullptr);
    for (const char* multiLine :
         {"快捷编辑框1", "快捷编辑框12", "编辑框快捷配置", "编辑框官方歌曲"}) {
        EXPECT_NE(qobject_cast<QPlainTextEdit*>(control(window, multiLine)), nullptr) << multiLine;
    }
    for (const char* singleLine : {"编辑框自定义配置", "编辑框自定义地址5", "编辑框更新连接"}) {
        EXPECT_NE(qobject_cast<QLineEdit*>(control(window, singleLine)), nullptr) << singleLine;
    }
    for (const layout::Control& spec : layout::expandControls(layout::mainWindowLayout())) {
        if (spec.kind == layout::Kind::EditBox || spec.kind == layout::Kind::MultiLineEditBox) {
            EXPECT_EQ(window.text(spec.name), spec.name == "编辑框老版本号" ? "1" : "")
                << spec.name;
        }
    }
    EXPECT_EQ(window.position("进度条1"), 0);
    // The 1 ms start-up timer runs at the platform's 10 ms minimum.
    EXPECT_EQ(window.interval("时钟1"), 1);
    ASSERT_TRUE(window.controlTimer("时钟1")->isActive());
    EXPECT_EQ(window.controlTimer("时钟1")->interval(), 10);
    window.setInterval("时钟1", 0);
    EXPECT_FALSE(window.controlTimer("时钟1")->isActive());
    window.setInterval("时钟1", 500);
    EXPECT_EQ(window.controlTimer("时钟1")->interval(), 500);
}

TEST_F(GuiTest, PageTabsShowOnePageAndKeepEdits) {
    FormWindow& window = mainWindow();
    struct Step {
        const char* tab;
        const char* page;
    };
    const Step steps[] = {{"特定按钮1", "图片框4"}, {"特定按钮1", "图片框4"},
                          {"特定按钮3", "图片框1"}, {"特定按钮2", "图片框3"},
                          {"特定按钮2", "图片框3"}, {"特定按钮4", "图片框3"},
                          {"特定按钮3", "图片框1"}, {"特定按钮6", "图片框1"}};
    for (const Step& step : steps) {
        QTest::mouseClick(control(window, step.tab), Qt::LeftButton);
        for (const char* page : {"图片框1", "图片框3", "图片框4"}) {
            EXPECT_EQ(window.visible(page), std::string_view(page) == step.page)
                << "after " << step.tab << ", page " << page;
        }
    }
    QTest::mouseClick(control(window, "特定按钮1"), Qt::LeftButton);
    QTest::keyClicks(control(window, "快捷编辑框3"), "hello");
    QTest::mouseClick(control(window, "特定按钮2"), Qt::LeftButton);
    QTest::mouseClick(control(window, "特定按钮1"), Qt::LeftButton);
    EXPECT_EQ(window.text("快捷编辑框3"), "hello");
}

// Hidden and clipped boxes are settings stores: what is written reads back byte
// for byte, whatever it holds.
TEST_F(GuiTest, EditBoxesStoreTextsExactly) {
    FormWindow& window = mainWindow();
    const Text texts[] = {
        "",
        utf8ToGbk("第一行\r\n第二行￥￥%%"),
        utf8ToGbk("emoji 😀 kept as GB18030"),
        Text("lone lead byte at the end \x81", 27),
        Text("bare\nline\rbreaks"),
        Text(40000, 'x'),  // beyond Qt's default line edit limit
    };
    for (const char* box :
         {"编辑框更新连接", "编辑框自定义配置", "编辑框快捷配置", "快捷编辑框1"}) {
        for (const Text& text : texts) {
            window.setText(box, text);
            EXPECT_EQ(window.text(box), text) << box;
        }
        window.setText(box, "a");
        window.appendText(box, utf8ToGbk("乙"));
        window.appendText(box, "c");
        EXPECT_EQ(window.text(box), utf8ToGbk("a乙c")) << box;
    }
}

// Edit boxes that nothing shows get no widget until something does: at start-up
// none has one (the update stores at the bottom edge show one row of their frame
// at most); showing the phrase page makes its twelve boxes, in their places,
// showing what was stored in them.
TEST_F(GuiTest, TextStoresGetAWidgetOnlyOnceShown) {
    FormWindow& window = mainWindow();
    auto boxes = [&window] {
        return window.findChildren<QLineEdit*>().size() +
               window.findChildren<QPlainTextEdit*>().size();
    };
    EXPECT_EQ(boxes(), 0);
    const Text stored = utf8ToGbk("第三句\r\n") + Text("\x81", 1);
    window.setText("快捷编辑框3", stored);
    window.appendText("编辑框更新", "1");
    EXPECT_TRUE(window.visible("快捷编辑框3"));
    EXPECT_EQ(boxes(), 0);

    QTest::mouseClick(control(window, "特定按钮1"), Qt::LeftButton);
    EXPECT_EQ(boxes(), 12);
    auto* third = window.findChild<QPlainTextEdit*>(QStringLiteral("快捷编辑框3"));
    ASSERT_NE(third, nullptr);
    EXPECT_TRUE(third->isVisible());
    EXPECT_EQ(third->geometry(), QRect(112, 96, 448, 24));
    EXPECT_EQ(third->toPlainText(), QString::fromUtf8("第三句\n\uFFFD"));
    EXPECT_EQ(window.text("快捷编辑框3"), stored);
    EXPECT_EQ(window.text("编辑框更新"), "1");
}

TEST_F(GuiTest, TypedTextReadsBackWithCrLfLineBreaks) {
    FormWindow& window = mainWindow();
    QTest::mouseClick(control(window, "特定按钮1"), Qt::LeftButton);
    QWidget* box = control(window, "快捷编辑框2");
    window.setText("快捷编辑框2", "x");
    QTest::keyClicks(box, "ab");
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClicks(box, "cd");
    // A write leaves the caret at the start, as the platform's edit box does.
    EXPECT_EQ(window.text("快捷编辑框2"), "ab\r\ncdx");
}

TEST_F(GuiTest, EscapeClosesTheWindowFromAnyControl) {
    FormWindow& window = mainWindow();
    QTest::mouseClick(control(window, "特定按钮1"), Qt::LeftButton);
    QWidget* box = control(window, "快捷编辑框5");
    QTest::keyClick(box, Qt::Key_Escape, Qt::ShiftModifier);
    QTest::keyClick(box, Qt::Key_F1);
    EXPECT_NE(runtime_->openWindow(layout::kMainWindow), nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(runtime_->openWindow(layout::kMainWindow), nullptr);
}

TEST_F(GuiTest, TabMovesTheFocusInLayoutOrder) {
    FormWindow& window = mainWindow();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    control(window, "特定按钮1")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), control(window, "特定按钮2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), control(window, "特定按钮1"));
    // A phrase box passes Tab on rather than taking it as a character.
    QTest::mouseClick(control(window, "特定按钮1"), Qt::LeftButton);
    control(window, "快捷编辑框4")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), control(window, "快捷编辑框5"));
    EXPECT_EQ(window.text("快捷编辑框4"), "");
}

}  // namespace
}  // namespace lumivox::testing

namespace lumivox::testing {
namespace {

// Drives the next open-file dialog once it shows: chooses `path` (or cancels
// when it is empty) and notes what the dialog had selected at first.
void answerFileDialog(const QString& path, QString* initialSelection) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, path, initialSelection] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (dialog == nullptr || !dialog->isVisible()) {
                continue;
            }
            poll->stop();
            poll->deleteLater();
            *initialSelection = dialog->selectedFiles().value(0);
            if (path.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->accept();  // through the public slot
            }
            return;
        }
    });
    poll->start(20);
}

// The open-file dialog gives the full path chosen, keeps the old name when the
// host cancels, and leaves the current folder alone (the update is saved and
// started from the current folder, so a song chosen elsewhere must not move it).
TEST_F(GuiTest, OpenFileDialogGivesTheChosenPathAndKeepsTheCurrentFolder) {
    FormWindow& window = mainWindow();
    const std::filesystem::path before = std::filesystem::current_path();
    TempDir songs;
    const std::filesystem::path song = songs / "歌曲.mp3";
    std::ofstream(song) << "x";
    QString initial;
    window.setFileName("通用对话框1", utf8ToGbk((songs / "旧.mp3").string()));
    answerFileDialog(QString::fromStdString(song.string()), &initial);
    ASSERT_TRUE(window.openFileDialog("通用对话框1"));
    EXPECT_EQ(initial, QString::fromStdString((songs / "旧.mp3").string()));
    EXPECT_EQ(gbkToUtf8(window.fileName("通用对话框1")), song.string());
    EXPECT_EQ(std::filesystem::current_path(), before);

    answerFileDialog(QString(), &initial);
    EXPECT_FALSE(window.openFileDialog("通用对话框1"));
    EXPECT_EQ(gbkToUtf8(window.fileName("通用对话框1")), song.string());
}

}  // namespace
}  // namespace lumivox::testing
