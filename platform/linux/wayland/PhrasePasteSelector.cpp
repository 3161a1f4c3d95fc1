// Which paster a Linux session gets: on a Wayland desktop (WAYLAND_DISPLAY) the
// program's own Wayland connection, which needs no focus, with the virtual
// keyboard or else the RemoteDesktop portal's; on X11 none, and the toolkit's
// clipboard and XTest do the work.
#include <cstdlib>
#include <memory>

#include "platform/GuiThread.hpp"
#include "platform/MessageBox.hpp"
#include "platform/PhrasePaste.hpp"
#include "platform/linux/wayland/WaylandPaster.hpp"

namespace lumivox::platform {
namespace {

void tellUnable(const std::string& missing) {
    showMessageBox("这个桌面不让程序代为粘贴：它没有给程序" + missing +
                       "。\n短语无法自动发送，请手动复制粘贴。",
                   0x30, "温馨提示：");
}

// A Wayland desktop that gives programs no clipboard without focus: the host
// hears so once, instead of keys that go nowhere.
class UnableDesktop final : public PhrasePaster {
  public:
    void pastePhrase(const std::string&) override {
        if (!told_) {
            told_ = true;
            tellUnable("剪贴板（data-control）");
        }
    }

  private:
    bool told_ = false;
};

std::unique_ptr<PhrasePaster> choosePaster() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        return nullptr;
    }
    // The portal's refusal is known only on the paster's worker thread; the
    // host hears of it once, on the GUI thread.
    auto paster = std::make_unique<wayland::WaylandPaster>(
        [told = false](const std::string& missing) mutable {
            if (!told) {
                told = true;
                runOnGuiThread([&] { tellUnable(missing); });
            }
        });
    if (!paster->abilities().connected) {
        return nullptr;
    }
    if (!paster->canPaste()) {
        return std::make_unique<UnableDesktop>();
    }
    return paster;
}

}  // namespace

PhrasePaster* desktopPhrasePaster() {
    static const std::unique_ptr<PhrasePaster> paster = choosePaster();
    return paster.get();
}

}  // namespace lumivox::platform
