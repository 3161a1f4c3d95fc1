// The update window: a label turned percentage, a progress bar, the 500 ms
// refresh timer and a four-part status bar (name, speed, amount, percentage).
#include "forms/Layout.hpp"

namespace lumivox::layout {
namespace {

WindowLayout makeUpdateWindowLayout() {
    using K = Kind;
    WindowLayout w;
    w.name = std::string(kUpdateWindow);
    w.title = "自动更新";
    w.clientWidth = 440;
    w.clientHeight = 59;
    w.centred = false;  // its created event places it below the main window
    w.icon = "icons/update_{n}.png";
    // clang-format off
    w.rows = {
        {.name = "透明标签1", .kind = K::TransparentLabel, .left = 8, .top = 8, .width = 136, .height = 24,
         .caption = "正在自动更新", .font = {"宋体", 12}, .label = {.handCursor = false}},
        {.name = "进度条1", .kind = K::ProgressBar, .left = 136, .top = 8, .width = 296, .height = 22},
        {.name = "时钟1", .kind = K::Timer, .interval = 500},
        {.name = "状态条1", .kind = K::StatusBar, .left = 0, .top = 39, .width = 385, .height = 20,
         .parts = 4, .partWidth = 110},
    };
    // clang-format on
    return w;
}

}  // namespace

const WindowLayout& updateWindowLayout() {
    static const WindowLayout layout = makeUpdateWindowLayout();
    return layout;
}

}  // namespace lumivox::layout
