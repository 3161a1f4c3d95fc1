#include "app/RemotePanelSection.hpp"

#include "app/RemotePanel.hpp"
#include "base/Encoding.hpp"
#include "forms/Layout.hpp"
#include "remote/QrCode.hpp"
#include "remote/RemoteSettings.hpp"

namespace lumivox {
namespace {

constexpr int kQrSize = 148;  // the picture box 遥控二维码
constexpr std::uint32_t kDark = 0x000000, kLight = 0xFFFFFF;

void say(Window& window, std::string_view control, std::string_view utf8) {
    window.setCaption(control, utf8ToGbk(utf8));
}

}  // namespace

std::vector<std::uint32_t> qrPixels(std::string_view text, int size) {
    const std::vector<std::vector<bool>> modules = qrModules(text);
    const int count = static_cast<int>(modules.size());
    const int across = count + 8;
    if (count == 0 || size < across) {
        return {};
    }
    const int scale = size / across;
    const int margin = (size - count * scale) / 2;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size * size), kLight);
    for (int y = 0; y < count * scale; ++y) {
        for (int x = 0; x < count * scale; ++x) {
            if (modules[static_cast<std::size_t>(y / scale)][static_cast<std::size_t>(x / scale)]) {
                pixels[static_cast<std::size_t>((margin + y) * size + margin + x)] = kDark;
            }
        }
    }
    return pixels;
}

void showRemoteSection(Window& window) {
    const RemoteSettings settings = currentRemoteSettings();
    say(window, "遥控标签1", settings.enabled ? "遥控面板：开" : "遥控面板：关");
    say(window, "遥控标签2",
        settings.listen.onNetwork() ? "允许局域网设备：是" : "允许局域网设备：否");
    say(window, "遥控标签3",
        settings.token.empty() ? "令牌：打开面板时生成" : "令牌：在二维码的链接里");
    const std::string link = remotePanelLink();
    const std::string problem = remotePanelProblem();
    std::string address;
    if (!problem.empty()) {
        address = "遥控面板没有打开：" + problem;
    } else if (link.empty()) {
        address = "遥控面板已关闭：不监听任何端口。";
    } else {
        // The address only: the token stays in the QR code (a screen shown on
        // stream must not show it).
        address = "地址：" + link.substr(0, link.find('#')) +
                  (settings.listen.onNetwork() ? "  同一网络的手机扫右边的二维码。"
                                               : "  只有这台电脑能连（浏览器、Stream Deck）。");
    }
    say(window, "遥控地址", address);
    std::vector<std::uint32_t> pixels =
        link.empty() ? std::vector<std::uint32_t>() : qrPixels(link, kQrSize);
    if (pixels.empty()) {
        pixels.assign(static_cast<std::size_t>(kQrSize * kQrSize), kDark);
    }
    window.setPicturePixels("遥控二维码", kQrSize, kQrSize, pixels);
}

void onRemoteButton(Window& window, int number) {
    const RemoteSettings settings = currentRemoteSettings();
    bool saved = true;
    switch (number) {
        case 1:
            saved = switchRemotePanel(!settings.enabled, settings.listen.onNetwork());
            break;
        case 2:
            saved = switchRemotePanel(settings.enabled, !settings.listen.onNetwork());
            break;
        case 3:
            if (settings.token.empty()) {
                return;  // no token yet: switching on makes the first one
            }
            saved = replaceRemoteToken();
            break;
        default:
            return;
    }
    applyRemoteSettings(window.forms(), layout::kMainWindow);
    showRemoteSection(window);
    if (!saved) {
        say(window, "遥控地址", "无法保存 lumivox.ini：改动只在这次运行中有效。");
    }
}

}  // namespace lumivox
