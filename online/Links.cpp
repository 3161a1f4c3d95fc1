#include "online/Links.hpp"

#include "base/Encoding.hpp"
#include "online/Site.hpp"
#include "platform/Web.hpp"

namespace lumivox::online {
namespace {

struct Link {
    std::string_view control;
    const char* path;  // passed as written: no further encoding
};

constexpr Link kLinks[] = {
    {"特定按钮4", "/forum.php?mod=forumdisplay&fid=44"},
    {"特定按钮5", "/forum.php?mod=viewthread&tid=1&extra=page%3D1"},
    {"特定按钮6", "/"},
    {"官方音按钮52", "/"},
    {"透明标签2", "/forum.php?mod=forumdisplay&fid=54"},
    {"透明标签4", "/forum.php?mod=viewthread&tid=3&extra="},
};

}  // namespace

const char* linkPathOf(std::string_view control) {
    for (const Link& link : kLinks) {
        if (link.control == control) {
            return link.path;
        }
    }
    return nullptr;
}

void openLinkOf(std::string_view control) {
    if (const char* path = linkPathOf(control)) {
        platform::openWebPage(gbkToUtf8(siteUrl(path)));
    }
}

}  // namespace lumivox::online
