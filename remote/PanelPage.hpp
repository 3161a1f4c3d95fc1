#pragma once
// The panel page (remote/panel.html), carried inside the executable.
#include <string_view>

namespace lumivox {

std::string_view panelPage();

}  // namespace lumivox
