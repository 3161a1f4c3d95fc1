#pragma once
// The six controls that open pages of the maker's site in the browser.
#include <string_view>

namespace lumivox::online {

// The site path a link control opens ("特定按钮4", "透明标签2"...), or null for
// a control that is no link.
const char* linkPathOf(std::string_view control);

// Opens the page of that link control; nothing is looked at or reported.
void openLinkOf(std::string_view control);

}  // namespace lumivox::online
