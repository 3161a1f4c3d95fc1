#pragma once
// Window layouts as data: every control with its name, kind, parent, geometry,
// initial visibility, caption and look. The form runtime builds windows from
// these tables; nothing here depends on Qt. Names, captions and font faces are
// UTF-8 as in the source.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivox::layout {

// 0x00BBGGRR, as the layouts store colours; kDefaultColour stands for the
// platform's button-face colour (for a transparent colour: the picture's
// top-left pixel).
using Colour = std::uint32_t;
inline constexpr Colour kDefaultColour = 0xFF000000u;
constexpr Colour rgb(int r, int g, int b) {
    return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}
inline constexpr Colour kBlack = rgb(0, 0, 0);
inline constexpr Colour kWhite = rgb(255, 255, 255);

enum class Kind {
    PictureBox,
    ImageButton,
    TransparentLabel,
    EditBox,           // single line, scrolls horizontally
    MultiLineEditBox,  // wraps at the box width, takes Enter as a line break
    Label,
    GroupBox,
    Timer,
    ProgressBar,
    OpenFileDialog,
    StatusBar,
};

enum class HAlign { Left, Centre, Right };
enum class VAlign { Top, Centre, Bottom };

// A font: face (null: the default GUI font), character height in pixels.
struct Font {
    const char* face = nullptr;
    int heightPx = 0;
    bool bold = false;
    bool underline = false;
};

// The pictures and colours of an image button in its three states.
struct ButtonLook {
    const char* pictureOut = nullptr;  // asset names
    const char* pictureIn = nullptr;   // null: the outside picture
    Colour transparentOut = kBlack;
    Colour transparentIn = rgb(0x00, 0x88, 0xFF);
    Colour captionOut = kWhite, backgroundOut = kBlack;
    Colour captionIn = kWhite, backgroundIn = kBlack;
    Colour captionFocus = rgb(0xEC, 0xEC, 0xEC), backgroundFocus = kBlack;
};

// How a transparent label draws its caption.
struct LabelLook {
    Colour colour = kBlack;
    HAlign align = HAlign::Left;
    bool wordWrap = false;
    VAlign valign = VAlign::Top;  // without word wrap only
    int effect = 0;               // 0 plain, 1 and 2 white copies, 3 black shadow
    bool handCursor = true;
};

// Lays out a numbered series: item n (from 1) stands in column c and row r of a
// grid `perLine` wide, filled row by row (or column by column), at
// left + dx * c, top + dy * r.
struct Grid {
    int perLine = 1;
    bool columnMajor = false;
    int dx = 0;
    int dy = 0;
};

// One row of a layout table: one control, or a numbered series of controls
// named `name` followed by the numbers first to last.
struct Row {
    const char* name;
    Kind kind;
    const char* parent = "";  // "" is the window itself
    int left = 0, top = 0, width = 0, height = 0;
    bool visible = true;
    // Image buttons, labels, group boxes: caption; edit boxes: the initial text;
    // picture boxes: the asset name of the picture (stretched to the box).
    const char* caption = "";
    Font font = {};
    ButtonLook button = {};
    LabelLook label = {};
    int interval = 0;  // timers: a running timer has an interval above 0
    int parts = 0;     // status bars: the number of parts and their width
    int partWidth = 0;
    // Series: the numbers, the grid, and one caption per number (or none: `caption`).
    int first = 0, last = 0;
    Grid grid = {};
    std::vector<const char*> captions = {};
};

// A control once its series is expanded.
struct Control {
    std::string name;
    Kind kind;
    std::string parent;
    int left, top, width, height;
    bool visible;
    std::string caption;
    Font font;
    ButtonLook button;
    LabelLook label;
    int interval;
    int parts, partWidth;
};

struct WindowLayout {
    std::string name;
    std::string title;
    int clientWidth = 0, clientHeight = 0;
    Colour background = kDefaultColour;
    bool centred = true;        // placed centred on the screen
    bool escapeCloses = false;  // Esc with no Ctrl, Shift or Alt closes it from any control
    // An icon of its own (PNG assets, one a size, named with "{n}" for the size);
    // null: the program's icon.
    const char* icon = nullptr;
    std::vector<Row> rows;
};

// Every control of a layout in table order, series expanded.
std::vector<Control> expandControls(const WindowLayout& layout);

// True when the control whose parent is `parent` lies in `ancestor`: that is
// its parent or a control its parent lies in, going up through `parentOf` (a
// control's parent name, "" for the window).
bool liesWithin(std::string_view parent, std::string_view ancestor,
                const std::function<std::string_view(std::string_view)>& parentOf);

// The program's window layouts.
inline constexpr std::string_view kMainWindow = "启动窗口";
const WindowLayout& mainWindowLayout();
inline constexpr std::string_view kUpdateWindow = "更新窗口";
const WindowLayout& updateWindowLayout();
inline constexpr std::string_view kSettingsWindow = "设置窗口";
const WindowLayout& settingsWindowLayout();
// The layout of that name among the program's windows, or null.
const WindowLayout* findProgramLayout(std::string_view name);

}  // namespace lumivox::layout
