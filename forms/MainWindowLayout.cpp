// The main window: banner, six tab buttons, three stacked pages, and the hidden
// text stores and auxiliary controls the handlers keep their state in.
#include "forms/Layout.hpp"

namespace lumivox::layout {
namespace {

constexpr Colour kSilver = rgb(0xC0, 0xC0, 0xC0);
constexpr Colour kGrey = rgb(0x80, 0x80, 0x80);
constexpr Colour kBlue = rgb(0x00, 0x88, 0xFF);
constexpr Colour kMagenta = rgb(0xFF, 0x00, 0xFF);

constexpr Font kTabFont{"仿宋_GB2312", 15, true};
constexpr Font kSaveFont{"仿宋_GB2312", 13, true};
constexpr Font kSoundFont{"黑体", 11, false};
constexpr Font kPlayStopFont{"仿宋_GB2312", 24, true};
constexpr Font kKeyCaptionFont{"仿宋_GB2312", 15, true};
constexpr Font kLinkFont{"宋体", 12, false, true};

constexpr ButtonLook kTabLook{.pictureOut = "pictures/tab_out.jpg",
                              .pictureIn = "pictures/tab_in.jpg"};
constexpr ButtonLook kBarLook{.pictureOut = "pictures/bar.jpg", .pictureIn = "pictures/bar.jpg"};
// Play and stop buttons: no caption, blue where the mouse is not over them.
constexpr ButtonLook playStopLook(const char* picture) {
    return {.pictureOut = picture,
            .pictureIn = picture,
            .transparentOut = kBlue,
            .transparentIn = kBlue,
            .captionOut = kMagenta,
            .backgroundOut = kBlue,
            .captionIn = kMagenta,
            .backgroundIn = kBlack,
            .captionFocus = kMagenta,
            .backgroundFocus = kBlue};
}

constexpr LabelLook kLinkLine{.colour = kSilver, .align = HAlign::Left, .valign = VAlign::Centre};
constexpr LabelLook kSlotName{.colour = kGrey, .align = HAlign::Left, .wordWrap = true};
constexpr LabelLook kKeyCaption{.colour = kGrey, .align = HAlign::Left, .valign = VAlign::Centre};

WindowLayout makeMainWindowLayout() {
    using K = Kind;
    WindowLayout w;
    w.name = std::string(kMainWindow);
    w.title = "LumivoxV1.0";
    w.clientWidth = 637;
    w.clientHeight = 593;
    w.background = kBlack;
    w.escapeCloses = true;
    // Creation order is the Tab order: banner, tabs, the pages and their controls,
    // then the hidden stores. One row a control or a numbered series.
    // clang-format off
    w.rows = {
        {.name = "图片框2", .kind = K::PictureBox, .width = 688, .height = 72, .caption = "pictures/banner.jpg"},
        {.name = "通用对话框1", .kind = K::OpenFileDialog, .parent = "图片框2"},
        {.name = "特定按钮", .kind = K::ImageButton, .left = 8, .top = 72, .width = 100, .height = 45,
         .font = kTabFont, .button = kTabLook, .first = 1, .last = 6, .grid = {.perLine = 6, .dx = 104},
         .captions = {"快捷键", "MC音效", "自定音", "招聘主播", "赞助软件", "官方网站"}},

        // The built-in sound effects page (shown at start).
        {.name = "图片框3", .kind = K::PictureBox, .left = 8, .top = 128, .width = 640, .height = 456},
        {.name = "官方音按钮", .kind = K::ImageButton, .parent = "图片框3", .left = 8, .top = 16,
         .width = 96, .height = 32, .font = kSoundFont, .button = kBarLook, .first = 1, .last = 52,
         .grid = {.perLine = 6, .dx = 104, .dy = 40},
         .captions = {"QQ消息音", "QQ提示音", "公鸡叫早", "搓碟", "鄙视声音", "鞭打男人", "打饱嗝声",
                      "打呼噜", "打架现场声音", "打喷嚏", "刀剑出鞘", "电话占线", "放屁",
                      "非诚勿扰亮灯", "给枪上膛", "狗叫", "鼓声", "鬼叫声(男)", "鬼叫声(女)", "哈欠声",
                      "欢呼掌声", "机枪扫射", "激烈掌声", "男人咳嗽声", "尖叫声", "贱笑", "精神病热线",
                      "救护车", "开枪", "女人呻吟声", "敲锣声音", "敲钟声", "亲嘴声(敷衍)",
                      "亲嘴声(女)", "轻微掌声", "群斗剑击", "群众笑声", "手枪声音", "乌鸦飞过",
                      "邪恶的笑", "心跳声", "新闻联播", "英文正数", "婴儿笑声", "砸玻璃声音", "直升飞机",
                      "岚泽明笑声", "做人要厚道点", "警报声", "雷声", "停止播放", "官方网站"}},
        {.name = "透明标签2", .kind = K::TransparentLabel, .parent = "图片框3", .left = 24, .top = 376,
         .width = 616, .height = 16,
         .caption = "如果你有好的场景音乐，请点击这里提交给我们，审核通过，将在下个版本热门场景音里面（并显示你提供的）",
         .font = kLinkFont, .label = kLinkLine},

        // The custom song slots page: six slots a column, three columns.
        {.name = "图片框1", .kind = K::PictureBox, .left = 8, .top = 128, .width = 640, .height = 456,
         .visible = false},
        {.name = "自定义歌曲名字", .kind = K::TransparentLabel, .parent = "图片框1", .left = 8, .top = 16,
         .width = 72, .height = 48, .caption = "亲，你还没有选择场景音哦！点击我！选择歌曲！",
         .label = kSlotName, .first = 1, .last = 18,
         .grid = {.perLine = 6, .columnMajor = true, .dx = 200, .dy = 64}},
        {.name = "自定义播放按钮", .kind = K::ImageButton, .parent = "图片框1", .left = 88, .top = 16,
         .width = 50, .height = 50, .font = kPlayStopFont, .button = playStopLook("pictures/play.jpg"),
         .first = 1, .last = 18, .grid = {.perLine = 6, .columnMajor = true, .dx = 200, .dy = 64}},
        {.name = "自定义停止按钮", .kind = K::ImageButton, .parent = "图片框1", .left = 144, .top = 16,
         .width = 50, .height = 50, .font = kPlayStopFont, .button = playStopLook("pictures/stop.jpg"),
         .first = 1, .last = 18, .grid = {.perLine = 6, .columnMajor = true, .dx = 200, .dy = 64}},
        {.name = "透明标签1", .kind = K::TransparentLabel, .parent = "图片框1", .left = 96, .top = 392,
         .width = 392, .height = 16, .caption = "温馨提示：点击歌曲名字即可更换自己喜爱的本地音乐哦！",
         .label = {.colour = kSilver, .align = HAlign::Centre}},

        // The hotkey phrases page: twelve rows 32 pixels apart.
        {.name = "图片框4", .kind = K::PictureBox, .left = 8, .top = 128, .width = 640, .height = 456,
         .visible = false},
        {.name = "透明标签4", .kind = K::TransparentLabel, .parent = "图片框4", .left = 32, .top = 8,
         .width = 528, .height = 24,
         .caption = "先开启热键，然后到鼠标点击聊天室聊天框，按F1-12即可发送指定数据！【点击这里看详细教程】",
         .label = {.colour = kGrey, .align = HAlign::Centre}},
        {.name = "透明标签F", .kind = K::TransparentLabel, .parent = "图片框4", .left = 24, .top = 32,
         .width = 72, .height = 24, .caption = "快捷键F{n}：", .font = kKeyCaptionFont,
         .label = kKeyCaption, .first = 1, .last = 9, .grid = {.dy = 32}},
        {.name = "透明标签F", .kind = K::TransparentLabel, .parent = "图片框4", .left = 16, .top = 32,
         .width = 88, .height = 24, .caption = "快捷键F{n}：", .font = kKeyCaptionFont,
         .label = kKeyCaption, .first = 10, .last = 11, .grid = {.dy = 32}},
        {.name = "透明标签F", .kind = K::TransparentLabel, .parent = "图片框4", .left = 16, .top = 32,
         .width = 96, .height = 24, .caption = "快捷键F{n}：", .font = kKeyCaptionFont,
         .label = kKeyCaption, .first = 12, .last = 12, .grid = {.dy = 32}},
        {.name = "快捷编辑框", .kind = K::MultiLineEditBox, .parent = "图片框4", .left = 112, .top = 32,
         .width = 448, .height = 24, .first = 1, .last = 12, .grid = {.dy = 32}},
        {.name = "透明标签3", .kind = K::TransparentLabel, .parent = "图片框4", .left = 48, .top = 424,
         .width = 200, .height = 24, .caption = "【温馨提示】修改完成后请保存配置",
         .label = {.colour = kGrey}},
        {.name = "保存配置按钮", .kind = K::ImageButton, .parent = "图片框4", .left = 256, .top = 416,
         .width = 96, .height = 32, .caption = "保存配置", .font = kSaveFont, .button = kBarLook},
        {.name = "保存配置按钮1", .kind = K::ImageButton, .parent = "图片框4", .left = 360, .top = 416,
         .width = 96, .height = 32, .caption = "开启热键", .font = kSaveFont, .button = kBarLook},
        {.name = "保存配置按钮2", .kind = K::ImageButton, .parent = "图片框4", .left = 464, .top = 416,
         .width = 96, .height = 32, .caption = "关闭热键", .font = kSaveFont, .button = kBarLook},
        {.name = "进度条1", .kind = K::ProgressBar, .parent = "图片框4", .left = 0, .top = 32, .width = 16,
         .height = 16, .visible = false},

        // Below or beside the client area: the version check's stores, the start-up
        // timer, the hotkey notification label and the settings stores.
        {.name = "时钟1", .kind = K::Timer, .left = 8, .top = 120, .interval = 1},
        {.name = "编辑框更新", .kind = K::EditBox, .left = 344, .top = 600, .width = 48, .height = 32},
        {.name = "编辑框版本号", .kind = K::EditBox, .left = 400, .top = 600, .width = 40, .height = 32},
        {.name = "编辑框更新连接", .kind = K::EditBox, .left = 456, .top = 592, .width = 40, .height = 40},
        {.name = "编辑框老版本号", .kind = K::EditBox, .left = 520, .top = 600, .width = 24, .height = 24,
         .caption = "1"},
        {.name = "编辑框软件名字", .kind = K::EditBox, .left = 560, .top = 600, .width = 56, .height = 24},
        {.name = "标签1", .kind = K::Label, .left = 360, .top = 712, .width = 32, .height = 24,
         .caption = "标签1"},
        {.name = "分组框1", .kind = K::GroupBox, .left = 64, .top = 704, .width = 48, .height = 40,
         .visible = false, .caption = "分组框1"},
        {.name = "编辑框自定义配置", .kind = K::EditBox, .parent = "分组框1", .left = 56, .top = 8,
         .width = 64, .height = 24},
        {.name = "编辑框自定义地址", .kind = K::EditBox, .parent = "分组框1", .left = 8, .top = 16,
         .width = 16, .height = 16, .first = 1, .last = 1},
        {.name = "编辑框自定义地址", .kind = K::EditBox, .parent = "分组框1", .left = 8, .top = 8,
         .width = 16, .height = 16, .first = 2, .last = 62},
        {.name = "分组框2", .kind = K::GroupBox, .left = 168, .top = 704, .width = 64, .height = 40,
         .caption = "分组框2"},
        {.name = "编辑框官方歌曲", .kind = K::MultiLineEditBox, .parent = "分组框2", .left = 32, .top = 8,
         .width = 24, .height = 24},
        {.name = "编辑框官方地址", .kind = K::EditBox, .parent = "分组框2", .left = 8, .top = 16,
         .width = 16, .height = 16, .first = 1, .last = 1},
        {.name = "编辑框官方地址", .kind = K::EditBox, .parent = "分组框2", .left = 8, .top = 8,
         .width = 16, .height = 16, .first = 2, .last = 78},
        {.name = "分组框3", .kind = K::GroupBox, .left = 240, .top = 704, .width = 88, .height = 40,
         .caption = "分组框3"},
        {.name = "编辑框快捷配置", .kind = K::MultiLineEditBox, .parent = "分组框3", .left = 48, .top = 8,
         .width = 32, .height = 24},
        {.name = "编辑框官方下载地址", .kind = K::EditBox, .parent = "分组框3", .left = 8, .top = 8,
         .width = 16, .height = 16, .first = 1, .last = 60},

        // The settings window's button in the banner's corner; last, so that every
        // control above keeps its place in the creation and Tab order.
        {.name = "设置按钮", .kind = K::ImageButton, .parent = "图片框2", .left = 581, .top = 6,
         .width = 48, .height = 24, .caption = "设置", .font = kSoundFont, .button = kBarLook},
    };
    // clang-format on
    return w;
}

}  // namespace

const WindowLayout& mainWindowLayout() {
    static const WindowLayout layout = makeMainWindowLayout();
    return layout;
}

}  // namespace lumivox::layout
