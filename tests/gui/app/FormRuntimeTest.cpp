// Opening windows from layouts: one window per layout, dialog mode with the
// other windows disabled and given back their state, and layouts that fail.
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

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
    // Records every event the test layouts raise; "事件" closes itself when created.
    std::vector<Binding> recordingWiring() {
        auto record = [this](Window& window, const Event& event) {
            events_.push_back(event);
            eventControls_.emplace_back(event.control);
            visibleAtEvent_.push_back(static_cast<FormWindow&>(window).isVisible());
        };
        return {
            {"事件", "", 0, 0, EventKind::Created, record},
            {"事件", "按钮", 1, 3, EventKind::Clicked, record},
            {"事件", "标签", 0, 0, EventKind::LeftButtonDown, record},
            {"事件", "通知", 0, 0, EventKind::Notification, record},
            {"事件", "时钟", 0, 0, EventKind::Tick,
             [this, record](Window& window, const Event& event) {
                 record(window, event);
                 if (++ticks_ == 3) {
                     window.setInterval("时钟", 0);
                 }
             }},
            {"自关", "", 0, 0, EventKind::Created,
             [](Window& window, const Event&) { window.close(); }},
            // Opens the dialog from a tick and goes on with its own window afterwards.
            {"主", "钟", 0, 0, EventKind::Tick,
             [this](Window& window, const Event&) {
                 window.setInterval("钟", 0);
                 window.forms().loadWindow("对话框", nullptr, true);
                 window.setCaption("钟", "");
                 window.setInterval("钟", 0);
                 ++ticks_;
             }},
        };
    }

    void SetUp() override {
        GuiTest::SetUp();
        layouts_ = {
            smallLayout("甲"),
            smallLayout("乙"),
            smallLayout("丙"),
            smallLayout("对话框", {{.name = "时钟1", .kind = layout::Kind::Timer, .interval = 3},
                                   {.name = "状态条1",
                                    .kind = layout::Kind::StatusBar,
                                    .top = 80,
                                    .width = 200,
                                    .height = 20,
                                    .parts = 2,
                                    .partWidth = 100}}),
            smallLayout("缺图", {{.name = "图片框1",
                                  .kind = layout::Kind::PictureBox,
                                  .caption = "pictures/none.jpg"}}),
            smallLayout("缺父",
                        {{.name = "编辑框1", .kind = layout::Kind::EditBox, .parent = "分组框9"}}),
            smallLayout("事件", {{.name = "按钮",
                                  .kind = layout::Kind::ImageButton,
                                  .width = 40,
                                  .height = 20,
                                  .first = 1,
                                  .last = 3,
                                  .grid = {.perLine = 3, .dx = 50}},
                                 {.name = "标签",
                                  .kind = layout::Kind::TransparentLabel,
                                  .top = 30,
                                  .width = 40,
                                  .height = 20,
                                  .caption = "x"},
                                 {.name = "通知", .kind = layout::Kind::Label, .top = 200},
                                 {.name = "时钟", .kind = layout::Kind::Timer, .interval = 1}}),
            smallLayout("自关"),
            smallLayout("主", {{.name = "钟", .kind = layout::Kind::Timer, .interval = 1}}),
        };
        wiring_ = recordingWiring();
        runtime_ = std::make_unique<FormRuntime>(
            [this](std::string_view name) {
                for (const layout::WindowLayout& layout : layouts_) {
                    if (layout.name == name) {
                        return &layout;
                    }
                }
                return static_cast<const layout::WindowLayout*>(nullptr);
            },
            wiring_);
    }
    std::vector<layout::WindowLayout> layouts_;
    std::vector<Binding> wiring_;
    std::vector<Event> events_;
    std::vector<std::string> eventControls_;
    std::vector<bool> visibleAtEvent_;
    int ticks_ = 0;
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

// A window the dialog disabled that the program closes (and Qt destroys) while
// the dialog is open is forgotten: the dialog's close gives back only the others.
TEST_F(FormRuntimeTest, WindowGoneWhileADialogHoldsItIsForgotten) {
    ASSERT_TRUE(runtime_->loadWindow("甲", nullptr, false));
    ASSERT_TRUE(runtime_->loadWindow("丙", nullptr, false));
    QPointer<FormWindow> first = runtime_->openForm("甲");
    QPointer<FormWindow> third = runtime_->openForm("丙");
    QTimer::singleShot(0, [&] {
        third->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(third);
        runtime_->openForm("对话框")->close();
    });
    EXPECT_TRUE(runtime_->loadWindow("对话框", nullptr, true));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isEnabled());
}

// While a dialog is open, the window manager's close (close button, Alt+F4) of a
// disabled window is refused: that window's tick handler is still running in the
// dialog's nested loop. The program's own close of a disabled window goes ahead.
TEST_F(FormRuntimeTest, DisabledWindowRefusesACloseFromOutside) {
    ASSERT_TRUE(runtime_->loadWindow("主", nullptr, false));
    QPointer<FormWindow> owner = runtime_->openForm("主");
    bool refused = false;
    QTimer::singleShot(30, [&] {
        FormWindow* dialog = runtime_->openForm("对话框");
        ASSERT_NE(dialog, nullptr);
        ASSERT_FALSE(owner->isEnabled());
        owner->windowHandle()->close();  // as the window manager asks
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        refused = owner && owner->isVisible() && runtime_->openForm("主") == owner;
        dialog->close();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks_ == 1; }, 5000));
    EXPECT_TRUE(refused);
    ASSERT_TRUE(owner);
    EXPECT_TRUE(owner->isEnabled());

    owner->setEnabled(false);
    owner->close();
    EXPECT_EQ(runtime_->openForm("主"), nullptr);
}

TEST_F(FormRuntimeTest, OpeningTwiceKeepsOneWindow) {
    ASSERT_TRUE(runtime_->loadWindow("甲", nullptr, false));
    FormWindow* first = runtime_->openForm("甲");
    first->showMinimized();
    ASSERT_TRUE(runtime_->loadWindow("甲", nullptr, false));
    EXPECT_EQ(runtime_->openForm("甲"), first);
    EXPECT_FALSE(first->isMinimized());
}

// A window opened from another closes with it (closing the main window ends the
// program whatever else is open); one opened from none stays.
TEST_F(FormRuntimeTest, AWindowOpenedFromAnotherClosesWithIt) {
    ASSERT_TRUE(runtime_->loadWindow("甲", nullptr, false));
    FormWindow* owner = runtime_->openForm("甲");
    ASSERT_TRUE(runtime_->loadWindow("乙", owner, false));
    ASSERT_TRUE(runtime_->loadWindow("丙", nullptr, false));
    owner->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(runtime_->openForm("甲"), nullptr);
    EXPECT_EQ(runtime_->openForm("乙"), nullptr) << "outlived the window it was opened from";
    EXPECT_NE(runtime_->openForm("丙"), nullptr);
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

TEST_F(FormRuntimeTest, EventsReachTheirHandlersWithTheirArguments) {
    ASSERT_TRUE(runtime_->loadWindow("事件", nullptr, false));
    FormWindow& window = *runtime_->openForm("事件");
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].kind, EventKind::Created);
    EXPECT_FALSE(visibleAtEvent_[0]);  // created runs before the window is shown
    EXPECT_TRUE(window.isVisible());

    QTest::mouseClick(window.controlWidget("按钮2"), Qt::LeftButton);
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].kind, EventKind::Clicked);
    EXPECT_EQ(eventControls_[1], "按钮2");
    EXPECT_EQ(events_[1].number, 2);

    QTest::mousePress(window.controlWidget("标签"), Qt::LeftButton,
                      Qt::ControlModifier | Qt::AltModifier, QPoint(5, 6));
    QTest::mousePress(window.controlWidget("标签"), Qt::RightButton, {}, QPoint(5, 6));
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[2].kind, EventKind::LeftButtonDown);
    EXPECT_EQ(events_[2].x, 5);
    EXPECT_EQ(events_[2].y, 6);
    EXPECT_EQ(events_[2].keyState, kKeyStateCtrl | kKeyStateAlt);

    window.raiseNotification("通知", 7, -1);
    ASSERT_EQ(events_.size(), 4u);
    EXPECT_EQ(events_[3].kind, EventKind::Notification);
    EXPECT_EQ(events_[3].first, 7);
    EXPECT_EQ(events_[3].second, -1);

    // The handler stops the timer on its third tick: no fourth comes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks_ == 3; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(ticks_, 3);
    EXPECT_EQ(events_.back().kind, EventKind::Tick);
}

TEST_F(FormRuntimeTest, WindowClosedByItsCreatedHandlerIsNeverShown) {
    EXPECT_TRUE(runtime_->loadWindow("自关", nullptr, false));
    EXPECT_EQ(runtime_->openWindow("自关"), nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(widget->objectName() == QStringLiteral("自关") && widget->isVisible());
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
