// Opening windows from layouts: one window per layout, dialog mode with the
// other windows disabled and given back their state, and layouts that fail.
#include <QTimer>

#include "GuiTest.hpp"

namespace lumivox::testing {
namespace {

layout::WindowLayout smallLayout(const char* name, std::vector<layout::Row> rows = {}) {
    layout::WindowLayout window;
    window.name = name;
    window.title = name;
    window.clientWidth = 200;
    window.clientHeight = 100;
    window.rows = std::move(rows);
    return window;
}

class FormRuntimeTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        layouts_ = {
            smallLayout("甲"),
            smallLayout("乙"),
            smallLayout("对话框", {{.name = "时钟1", .kind = layout::Kind::Timer, .interval = 3},
                                {.name = "状态条1", .kind = layout::Kind::StatusBar, .top = 80,
                                 .width = 200, .height = 20, .parts = 2, .partWidth = 100}}),
            smallLayout("缺图", {{.name = "图片框1", .kind = layout::Kind::PictureBox,
                                .caption = "pictures/none.jpg"}}),
            smallLayout("缺父", {{.name = "编辑框1", .kind = layout::Kind::EditBox, .parent = "分组框9"}}),
        };
        runtime_ = std::make_unique<FormRuntime>([this](std::string_view name) {
            for (const layout::WindowLayout& layout : layouts_) {
                if (layout.name == name) {
                    return &layout;
                }
            }
            return static_cast<const layout::WindowLayout*>(nullptr);
        });
    }
    std::vector<layout::WindowLayout> layouts_;
};

TEST_F(FormRuntimeTest, DialogModeDisablesTheOthersUntilItCloses) {
    ASSERT_TRUE(runtime_->loadWindow("甲", nullptr, false));
    ASSERT_TRUE(runtime_->loadWindow("乙", nullptr, false));
    FormWindow* first = runtime_->openForm("甲");
    FormWindow* second = runtime_->openForm("乙");
    second->setEnabled(false);  // already disabled: stays so afterwards

    bool checked = false;
    QTimer::singleShot(0, [&] {
        FormWindow* dialog = runtime_->openForm("对话框");
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(first->isEnabled());
        EXPECT_FALSE(second->isEnabled());
        // The dialog's timer ticks in the nested loop, at the 10 ms minimum.
        EXPECT_EQ(dialog->controlTimer("时钟1")->interval(), 10);
        EXPECT_TRUE(dialog->controlTimer("时钟1")->isActive());
        dialog->setStatusText("状态条1", 1, "speed");
        EXPECT_EQ(dialog->statusText("状态条1", 1), "speed");
        EXPECT_EQ(dialog->statusText("状态条1", 2), "");
        // A second load of an open window only brings it forward.
        EXPECT_TRUE(runtime_->loadWindow("对话框", nullptr, true));
        EXPECT_EQ(runtime_->openForm("对话框"), dialog);
        checked = true;
        dialog->close();
    });
    EXPECT_TRUE(runtime_->loadWindow("对话框", nullptr, true));
    // Returns only once the dialog has closed.
    EXPECT_TRUE(checked);
    EXPECT_EQ(runtime_->openForm("对话框"), nullptr);
    EXPECT_TRUE(first->isEnabled());
    EXPECT_FALSE(second->isEnabled());
}

TEST_F(FormRuntimeTest, OpeningTwiceKeepsOneWindow) {
    ASSERT_TRUE(runtime_->loadWindow("甲", nullptr, false));
    FormWindow* first = runtime_->openForm("甲");
    first->showMinimized();
    ASSERT_TRUE(runtime_->loadWindow("甲", nullptr, false));
    EXPECT_EQ(runtime_->openForm("甲"), first);
    EXPECT_FALSE(first->isMinimized());
}

TEST_F(FormRuntimeTest, FailsWithoutMakingAWindow) {
    ASSERT_TRUE(runtime_->loadWindow("甲", nullptr, false));
    Window* parent = runtime_->openWindow("甲");
    EXPECT_TRUE(runtime_->loadWindow("乙", parent, false));
    runtime_->openWindow("乙")->close();
    // A parent that is no longer a window; in dialog mode the parent is ignored.
    parent->close();
    EXPECT_FALSE(runtime_->loadWindow("乙", parent, false));
    EXPECT_EQ(runtime_->openWindow("乙"), nullptr);
    QTimer::singleShot(0, [&] { runtime_->openWindow("乙")->close(); });
    EXPECT_TRUE(runtime_->loadWindow("乙", parent, true));
    for (const char* broken : {"没有", "缺图", "缺父"}) {
        EXPECT_FALSE(runtime_->loadWindow(broken, nullptr, false)) << broken;
        EXPECT_EQ(runtime_->openWindow(broken), nullptr) << broken;
    }
}

TEST_F(FormRuntimeTest, UnknownNamesAndKindsAreIgnored) {
    ASSERT_TRUE(runtime_->loadWindow("对话框", nullptr, false));
    Window& window = *runtime_->openWindow("对话框");
    window.setText("时钟1", "x");  // a timer is no edit box
    EXPECT_EQ(window.text("时钟1"), "");
    window.setInterval("状态条1", 5);
    EXPECT_EQ(window.interval("状态条1"), 0);
    window.setCaption("没有", "x");
    EXPECT_EQ(window.caption("没有"), "");
    EXPECT_FALSE(window.visible("没有"));
    EXPECT_FALSE(window.openFileDialog("时钟1"));
    window.raiseNotification("时钟1", 1, 0);
}

}  // namespace
}  // namespace lumivox::testing
