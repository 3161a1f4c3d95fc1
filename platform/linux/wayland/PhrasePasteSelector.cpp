// Which paster a Linux session gets: on a Wayland desktop (WAYLAND_DISPLAY) the
// program's own Wayland connection, which needs no focus; on X11 none, and the
// toolkit's clipboard and XTest do the work.
#include <cstdlib>
#include <memory>

#include "platform/MessageBox.hpp"
#include "platform/PhrasePaste.hpp"
#include "platform/linux/wayland/WaylandPaster.hpp"

namespace lumivox::platform {
namespace {

// A Wayland desktop that gives programs neither a clipboard without focus nor a
// keyboard: the host hears so once, instead of keys that go nowhere.
class UnableDesktop final : public PhrasePaster {
  public:
    explicit UnableDesktop(const wayland::WaylandAbilities& abilities) : abilities_(abilities) {}
    void pastePhrase(const std::string&) override {
        if (told_) {
            return;
        }
        told_ = true;
        std::string missing;
        if (!abilities_.dataControl) {
            missing += "剪贴板（data-control）";
        }
        if (!abilities_.virtualKeyboard) {
            missing += missing.empty() ? "键盘（virtual-keyboard）" : "、键盘（virtual-keyboard）";
        }
        showMessageBox("这个桌面不让程序代为粘贴：它没有给程序" + missing +
                           "。\n短语无法自动发送，请手动复制粘贴。",
                       0x30, "温馨提示：");
    }

  private:
    wayland::WaylandAbilities abilities_;
    bool told_ = false;
};

std::unique_ptr<PhrasePaster> choosePaster() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        return nullptr;
    }
    auto paster = std::make_unique<wayland::WaylandPaster>();
    if (!paster->abilities().connected) {
        return nullptr;
    }
    if (!paster->canPaste()) {
        return std::make_unique<UnableDesktop>(paster->abilities());
    }
    return paster;
}

}  // namespace

PhrasePaster* desktopPhrasePaster() {
    static const std::unique_ptr<PhrasePaster> paster = choosePaster();
    return paster.get();
}

}  // namespace lumivox::platform
