// The program's event wiring against the main window's layout: every event the
// program binds, on a control of the right kind; no binding on a control that
// has no handler.
#include <set>

#include "GuiTest.hpp"
#include "shell/EventWiring.hpp"

namespace lumivox::testing {
namespace {

using layout::Kind;

layout::Kind kindFor(EventKind event) {
    switch (event) {
        case EventKind::Clicked:
            return Kind::ImageButton;
        case EventKind::LeftButtonDown:
            return Kind::TransparentLabel;
        case EventKind::Notification:
            return Kind::Label;
        case EventKind::Tick:
            return Kind::Timer;
        case EventKind::Created:
            break;
    }
    return Kind::PictureBox;
}

std::map<std::string, Kind> mainControls() {
    std::map<std::string, Kind> kinds;
    for (const layout::Control& control : layout::expandControls(layout::mainWindowLayout())) {
        kinds[control.name] = control.kind;
    }
    return kinds;
}

TEST(EventWiring, BindingsNameControlsOfTheRightKind) {
    const auto controls = mainControls();
    for (const Binding& binding : eventWiring()) {
        ASSERT_EQ(binding.window, layout::kMainWindow);
        if (binding.kind == EventKind::Created) {
            EXPECT_TRUE(binding.control.empty());
            continue;
        }
        const int first = binding.first == 0 ? 0 : binding.first;
        for (int n = first; n <= binding.last; ++n) {
            const std::string name =
                std::string(binding.control) + (n == 0 ? "" : std::to_string(n));
            auto found = controls.find(name);
            ASSERT_NE(found, controls.end()) << name;
            EXPECT_EQ(found->second, kindFor(binding.kind)) << name;
        }
    }
}

struct Bound {
    const char* control;
    int first, last;
    EventKind kind;
    bool built;  // its handler exists already
};

// The program's table of bound events.
const Bound kBound[] = {
    {"", 0, 0, EventKind::Created, true},
    {"时钟1", 0, 0, EventKind::Tick, false},
    {"标签1", 0, 0, EventKind::Notification, false},
    {"特定按钮", 1, 3, EventKind::Clicked, true},
    {"特定按钮", 4, 6, EventKind::Clicked, false},
    {"透明标签2", 0, 0, EventKind::LeftButtonDown, false},
    {"透明标签4", 0, 0, EventKind::LeftButtonDown, false},
    {"官方音按钮", 1, 51, EventKind::Clicked, true},
    {"官方音按钮", 52, 52, EventKind::Clicked, false},
    {"自定义歌曲名字", 1, 18, EventKind::LeftButtonDown, true},
    {"自定义播放按钮", 1, 18, EventKind::Clicked, true},
    {"自定义停止按钮", 1, 18, EventKind::Clicked, true},
    {"保存配置按钮", 0, 0, EventKind::Clicked, false},
    {"保存配置按钮1", 0, 0, EventKind::Clicked, false},
    {"保存配置按钮2", 0, 0, EventKind::Clicked, false},
};

TEST(EventWiring, EveryBoundEventHasARowAndItsNumber) {
    std::set<std::pair<std::string, EventKind>> bound;
    for (const Bound& row : kBound) {
        for (int n = row.first; n <= row.last; ++n) {
            const std::string name = std::string(row.control) + (n == 0 ? "" : std::to_string(n));
            int number = -1;
            const Binding* binding =
                findBinding(eventWiring(), layout::kMainWindow, name, row.kind, &number);
            ASSERT_NE(binding, nullptr) << name;
            EXPECT_EQ(static_cast<bool>(binding->handler), row.built) << name;
            if (binding->first != 0) {
                EXPECT_EQ(number, n) << name;
            }
            bound.emplace(name, row.kind);
        }
    }
    // Nothing else is bound: no other event of any control finds a row.
    for (const auto& [name, kind] : mainControls()) {
        for (EventKind event : {EventKind::Clicked, EventKind::LeftButtonDown,
                                EventKind::Notification, EventKind::Tick}) {
            if (!bound.count({name, event})) {
                EXPECT_EQ(findBinding(eventWiring(), layout::kMainWindow, name, event), nullptr)
                    << name;
            }
        }
    }
    EXPECT_EQ(findBinding(eventWiring(), layout::kMainWindow, "官方音按钮053", EventKind::Clicked),
              nullptr);
    EXPECT_EQ(findBinding(eventWiring(), "其他窗口", "特定按钮1", EventKind::Clicked), nullptr);
}

}  // namespace
}  // namespace lumivox::testing
