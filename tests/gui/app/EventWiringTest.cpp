// The program's event wiring against the main window's layout: every event the
// program binds, on a control of the right kind; no binding on a control that
// has no handler.
#include <set>

#include "app/EventWiring.hpp"
#include "GuiTest.hpp"

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

std::map<std::string, Kind> controlsOf(const layout::WindowLayout& window) {
    std::map<std::string, Kind> kinds;
    for (const layout::Control& control : layout::expandControls(window)) {
        kinds[control.name] = control.kind;
    }
    return kinds;
}

TEST(EventWiring, BindingsNameControlsOfTheRightKind) {
    for (const Binding& binding : eventWiring()) {
        const layout::WindowLayout* window = layout::findProgramLayout(binding.window);
        ASSERT_NE(window, nullptr) << binding.window;
        const auto controls = controlsOf(*window);
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
    {"时钟1", 0, 0, EventKind::Tick, true},
    {"标签1", 0, 0, EventKind::Notification, true},
    {"特定按钮", 1, 3, EventKind::Clicked, true},
    {"特定按钮", 4, 6, EventKind::Clicked, true},
    {"透明标签2", 0, 0, EventKind::LeftButtonDown, true},
    {"透明标签4", 0, 0, EventKind::LeftButtonDown, true},
    {"官方音按钮", 1, 51, EventKind::Clicked, true},
    {"官方音按钮52", 0, 0, EventKind::Clicked, true},
    {"自定义歌曲名字", 1, 18, EventKind::LeftButtonDown, true},
    {"自定义播放按钮", 1, 18, EventKind::Clicked, true},
    {"自定义停止按钮", 1, 18, EventKind::Clicked, true},
    {"保存配置按钮", 0, 0, EventKind::Clicked, true},
    {"保存配置按钮1", 0, 0, EventKind::Clicked, true},
    {"保存配置按钮2", 0, 0, EventKind::Clicked, true},
    {"设置按钮", 0, 0, EventKind::Clicked, true},
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
    for (const auto& [name, kind] : controlsOf(layout::mainWindowLayout())) {
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
    // The update window: its created event and its timer, nothing else.
    for (const auto& [name, kind] : controlsOf(layout::updateWindowLayout())) {
        for (EventKind event : {EventKind::Clicked, EventKind::LeftButtonDown,
                                EventKind::Notification, EventKind::Tick}) {
            const Binding* binding = findBinding(eventWiring(), layout::kUpdateWindow, name, event);
            EXPECT_EQ(binding != nullptr, name == "时钟1" && event == EventKind::Tick) << name;
        }
    }
    EXPECT_NE(findBinding(eventWiring(), layout::kUpdateWindow, "", EventKind::Created), nullptr);
}

}  // namespace
}  // namespace lumivox::testing
