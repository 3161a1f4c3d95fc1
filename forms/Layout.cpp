#include "forms/Layout.hpp"

namespace lumivox::layout {
namespace {

std::string numbered(const char* text, int number) {
    std::string result = text;
    const std::string mark = "{n}";
    for (auto at = result.find(mark); at != std::string::npos; at = result.find(mark)) {
        result.replace(at, mark.size(), std::to_string(number));
    }
    return result;
}

Control single(const Row& row, std::string name, std::string caption, int left, int top) {
    return Control{
        std::move(name), row.kind,    row.parent,         left,     top,        row.width,
        row.height,      row.visible, std::move(caption), row.font, row.button, row.label,
        row.interval,    row.parts,   row.partWidth};
}

}  // namespace

std::vector<Control> expandControls(const WindowLayout& layout) {
    std::vector<Control> controls;
    for (const Row& row : layout.rows) {
        if (row.first == 0) {
            controls.push_back(single(row, row.name, row.caption, row.left, row.top));
            continue;
        }
        for (int n = row.first; n <= row.last; ++n) {
            const int index = n - 1;
            const int perLine = row.grid.perLine > 0 ? row.grid.perLine : 1;
            const int column = row.grid.columnMajor ? index / perLine : index % perLine;
            const int line = row.grid.columnMajor ? index % perLine : index / perLine;
            const char* caption = static_cast<std::size_t>(index) < row.captions.size()
                                      ? row.captions[static_cast<std::size_t>(index)]
                                      : row.caption;
            controls.push_back(single(row, row.name + std::to_string(n), numbered(caption, n),
                                      row.left + row.grid.dx * column,
                                      row.top + row.grid.dy * line));
        }
    }
    return controls;
}

bool liesWithin(std::string_view parent, std::string_view ancestor,
                const std::function<std::string_view(std::string_view)>& parentOf) {
    for (std::string_view up = parent; !up.empty(); up = parentOf(up)) {
        if (up == ancestor) {
            return true;
        }
    }
    return false;
}

const WindowLayout* findProgramLayout(std::string_view name) {
    for (const WindowLayout* layout : {&mainWindowLayout(), &updateWindowLayout(), &settingsWindowLayout()}) {
        if (layout->name == name) {
            return layout;
        }
    }
    return nullptr;
}

}  // namespace lumivox::layout
