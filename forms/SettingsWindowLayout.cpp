// The settings window ("设置"): one block of controls a subsystem, stacked
// from the top. The sound block says who hears the effects and the songs, at
// what volume and on which devices; its captions are written by its handlers
// (they depend on the settings and on the platform). A new block goes below
// the last one, with its controls named after it, and the window grows by its
// height.
#include "forms/Layout.hpp"

namespace lumivox::layout {
namespace {

constexpr Colour kSilver = rgb(0xC0, 0xC0, 0xC0);
constexpr Font kHeadingFont{"黑体", 15, true};
constexpr Font kTextFont{"宋体", 12, false};
constexpr Font kButtonFont{"黑体", 12, false};
constexpr ButtonLook kBarLook{.pictureOut = "pictures/bar.jpg", .pictureIn = "pictures/bar.jpg"};
constexpr LabelLook kHeading{.colour = rgb(0xFF, 0xFF, 0xFF), .handCursor = false};
constexpr LabelLook kText{.colour = kSilver, .wordWrap = true, .handCursor = false};
constexpr LabelLook kValue{.colour = kSilver, .valign = VAlign::Centre, .handCursor = false};

WindowLayout makeSettingsWindowLayout() {
    using K = Kind;
    WindowLayout w;
    w.name = std::string(kSettingsWindow);
    w.title = "设置";
    w.clientWidth = 480;
    w.clientHeight = 628;
    w.background = kBlack;
    w.escapeCloses = true;
    // clang-format off
    w.rows = {
        // Sound: who hears it (top 8 to 388). One line a setting: what it is now
        // on the left, the button that changes it on the right.
        {.name = "音频标题", .kind = K::TransparentLabel, .left = 8, .top = 8, .width = 464, .height = 22,
         .caption = "声音：谁听得到", .font = kHeadingFont, .label = kHeading},
        {.name = "音频说明", .kind = K::TransparentLabel, .left = 8, .top = 34, .width = 464, .height = 62,
         .font = kTextFont, .label = kText},
        // 1 effects to the viewers, 2 songs to the viewers, 3 the host hears.
        {.name = "音频开关标签", .kind = K::TransparentLabel, .left = 8, .top = 100, .width = 360,
         .height = 32, .font = kButtonFont, .label = kValue, .first = 1, .last = 3, .grid = {.dy = 36}},
        {.name = "音频开关按钮", .kind = K::ImageButton, .left = 376, .top = 100, .width = 96, .height = 32,
         .caption = "切换", .font = kButtonFont, .button = kBarLook, .first = 1, .last = 3,
         .grid = {.dy = 36}},
        // 1 effects, 2 songs.
        {.name = "音频音量标签", .kind = K::TransparentLabel, .left = 8, .top = 208, .width = 360,
         .height = 32, .font = kButtonFont, .label = kValue, .first = 1, .last = 2, .grid = {.dy = 36}},
        // 1 effects down, 2 effects up, 3 songs down, 4 songs up.
        {.name = "音频音量按钮", .kind = K::ImageButton, .left = 376, .top = 208, .width = 46, .height = 32,
         .font = kButtonFont, .button = kBarLook, .first = 1, .last = 4,
         .grid = {.perLine = 2, .dx = 50, .dy = 36}, .captions = {"－", "＋", "－", "＋"}},
        // 1 the host's monitor device; 2 the host's microphone (Linux) or the
        // viewers' device (Windows).
        {.name = "音频设备标签", .kind = K::TransparentLabel, .left = 8, .top = 280, .width = 360,
         .height = 32, .font = kButtonFont, .label = kValue, .first = 1, .last = 2, .grid = {.dy = 36}},
        {.name = "音频设备按钮", .kind = K::ImageButton, .left = 376, .top = 280, .width = 96, .height = 32,
         .caption = "换下一个", .font = kButtonFont, .button = kBarLook, .first = 1, .last = 2,
         .grid = {.dy = 36}},
        {.name = "音频提示", .kind = K::TransparentLabel, .left = 8, .top = 354, .width = 464, .height = 34,
         .caption = "每项改动立即生效（正在播放的声音也跟着变），并保存在数据文件夹的 lumivox.ini 里。",
         .font = kTextFont, .label = kText},
        // The remote panel: phones, tablets and stream decks (top 392 to 624).
        {.name = "遥控标题", .kind = K::TransparentLabel, .left = 8, .top = 396, .width = 464, .height = 22,
         .caption = "遥控面板：手机、平板和 Stream Deck", .font = kHeadingFont, .label = kHeading},
        // 1 the switch, 2 "允许局域网设备", 3 the token: what it is now, then the button.
        {.name = "遥控标签", .kind = K::TransparentLabel, .left = 8, .top = 424, .width = 212,
         .height = 32, .font = kButtonFont, .label = kValue, .first = 1, .last = 3, .grid = {.dy = 36}},
        {.name = "遥控按钮", .kind = K::ImageButton, .left = 224, .top = 424, .width = 92, .height = 32,
         .font = kButtonFont, .button = kBarLook, .first = 1, .last = 3, .grid = {.dy = 36},
         .captions = {"切换", "切换", "更换令牌"}},
        // The QR code of the panel's link (the token in its fragment), drawn by the handlers.
        {.name = "遥控二维码", .kind = K::PictureBox, .left = 324, .top = 424, .width = 148, .height = 148},
        {.name = "遥控地址", .kind = K::TransparentLabel, .left = 8, .top = 536, .width = 308, .height = 36,
         .font = kTextFont, .label = kText},
        {.name = "遥控说明", .kind = K::TransparentLabel, .left = 8, .top = 580, .width = 464, .height = 40,
         .caption = "手机扫码打开面板，令牌只留在手机上。更换令牌后，旧的链接和 Stream Deck 按钮立即失效；"
                    "面板关闭时程序不监听任何端口。",
         .font = kTextFont, .label = kText},
    };
    // clang-format on
    return w;
}

}  // namespace

const WindowLayout& settingsWindowLayout() {
    static const WindowLayout layout = makeSettingsWindowLayout();
    return layout;
}

}  // namespace lumivox::layout
