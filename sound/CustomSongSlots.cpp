#include "sound/CustomSongSlots.hpp"

#include <algorithm>
#include <string>

#include "base/Encoding.hpp"
#include "base/TextOps.hpp"
#include "forms/WindowText.hpp"
#include "platform/Files.hpp"
#include "platform/SystemOps.hpp"
#include "sound/NowPlaying.hpp"
#include "sound/SoundService.hpp"

namespace lumivox {
namespace {

constexpr std::string_view kDialog = "通用对话框1";
constexpr std::string_view kSettingsStore = "编辑框自定义配置";

std::string nameLabel(int slot) {
    return "自定义歌曲名字" + std::to_string(slot);
}
std::string pathBox(int slot) {
    return "编辑框自定义地址" + std::to_string(slot);
}

// The part after the last path separator ("/", or the system's own); the whole
// text without one.
Text lastPathComponent(const Text& path) {
    const int position =
        std::max(findLastText(path, "/"), findLastText(path, platform::pathSeparator()));
    if (position < 0) {
        return path;
    }
    return rightPart(path, textByteCount(path) - position);
}

}  // namespace

Text songSlotPlaceholder() {
    static const Text placeholder = utf8ToGbk("亲，你还没有选择场景音哦！点击我！选择歌曲！");
    return placeholder;
}

void chooseSongForSlot(Window& window, int slot, const Text& settingsPath) {
    window.openFileDialog(kDialog);  // Cancel leaves the dialog's last file name
    const Text chosen = window.fileName(kDialog);
    window.setText(pathBox(slot), chosen);
    window.setCaption(nameLabel(slot), lastPathComponent(chosen));
    saveCustomSongs(window, settingsPath);
}

void saveCustomSongs(Window& window, const Text& settingsPath) {
    window.setText(kSettingsStore, "");
    for (int slot = 1; slot <= kSongSlotCount; ++slot) {
        if (textsEqual(window.text(pathBox(slot)), "")) {
            window.setText(pathBox(slot), utf8ToGbk("无"));
            break;
        }
    }
    for (int slot = 1; slot <= kSongSlotCount; ++slot) {
        if (textsEqual(window.caption(nameLabel(slot)), "")) {
            window.setCaption(nameLabel(slot), songSlotPlaceholder());
            break;
        }
    }
    Text joined;
    for (int slot = 1; slot <= kSongSlotCount; ++slot) {
        joined += window.caption(nameLabel(slot));
        joined += kSettingsSeparator;
        joined += window.text(pathBox(slot));
        joined += kSettingsSeparator;
    }
    appendToEditBox(window, kSettingsStore, joined);
    writeWholeFile(settingsPath, textToBytes(window.text(kSettingsStore)));
}

std::vector<Text> customSongFields(std::string_view settings) {
    TextArray fields = splitText(settings, kSettingsSeparator);
    if (fields.size() > 2 * kSongSlotCount) {
        fields.resize(2 * kSongSlotCount);  // fields past the 36th are ignored
    }
    return fields;
}

void loadCustomSongs(Window& window) {
    const std::vector<Text> fields = customSongFields(window.text(kSettingsStore));
    for (int slot = 1; slot <= kSongSlotCount; ++slot) {
        const auto name = static_cast<std::size_t>(2 * slot - 2);
        if (name < fields.size()) {
            window.setCaption(nameLabel(slot), fields[name]);
        }
        if (name + 1 < fields.size()) {
            window.setText(pathBox(slot), fields[name + 1]);
        }
    }
}

void playSongSlot(Window& window, int slot) {
    const Text path = window.text(pathBox(slot));
    playSongFiles(1, {path});
    if (!path.empty()) {
        noteSongStarted(slot);
    }
}

}  // namespace lumivox
