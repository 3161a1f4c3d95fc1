// The hotkey page's handlers on the real main window, over a hotkey table that
// can refuse a key: what switching on and off registers and says, and the keys
// and clipboard text a hotkey sends.
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>

#include "base/Encoding.hpp"
#include "hotkeys/HotkeyPhrases.hpp"
#include "tests/gui/shell/GuiTest.hpp"
#include "tests/unit/hotkeys/FakeHotkeys.hpp"

namespace lumivox::testing {
namespace {

using K = RecordingKeys::KeyEvent;
constexpr int kF7 = 0x76;

class PhrasePage : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        // Every message box is answered at once and remembered.
        QObject::connect(&closer_, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                    messages_.push_back((box->windowTitle() + "|" + box->text()).toStdString());
                    box->accept();
                }
            }
        });
        closer_.start(10);
    }
    // Identifiers held now, key by key.
    std::map<int, int> registeredKeys() const {
        std::map<int, int> keys;
        for (const auto& [id, combination] : grabs_.registered) {
            keys[combination.second] = id;
        }
        return keys;
    }

    FakeHotkeys grabs_;
    RecordingKeys keys_;
    HotkeyService service_{grabs_};
    HotkeyPhraseSender page_{service_, keys_};
    QTimer closer_;
    std::vector<std::string> messages_;
};

TEST_F(PhrasePage, SwitchingOnAndOffRegistersEachKeyOnceAndSaysSo) {
    grabs_.heldByOthers.insert({0, kF7});
    FormWindow& window = mainWindow();
    const std::string on = "温馨提示：|快捷键开启成功！鼠标点击聊天框！按F1-12即可发送指定数据！";
    const std::string off = "温馨提示：|快捷键关闭成功！谢谢使用！";

    page_.switchHotkeysOn(window);
    HotkeySlots expected{};
    for (int k = 0; k < 12; ++k) {
        expected[k] = k == 6 ? 0 : 33001 + k;  // F7 is another program's
    }
    EXPECT_EQ(page_.hotkeySlots(), expected);
    EXPECT_EQ(registeredKeys().size(), 11u);
    EXPECT_FALSE(registeredKeys().contains(kF7));

    // Switched on again: still one registration per key, under the new identifiers.
    page_.switchHotkeysOn(window);
    for (int k = 0; k < 12; ++k) {
        expected[k] = k == 6 ? 0 : 33013 + k;
    }
    EXPECT_EQ(page_.hotkeySlots(), expected);
    EXPECT_EQ(registeredKeys().size(), 11u);
    EXPECT_EQ(registeredKeys().at(0x70), 33013);

    // Off removes every one of them and the reports stop; the entries stay.
    page_.switchHotkeysOff(window);
    EXPECT_TRUE(grabs_.registered.empty());
    EXPECT_FALSE(grabs_.listening);
    EXPECT_EQ(service_.activeCount(), 0);
    EXPECT_EQ(page_.hotkeySlots(), expected);

    // Off while off: nothing to remove, the message all the same. On again continues.
    page_.switchHotkeysOff(window);
    grabs_.heldByOthers.clear();
    page_.switchHotkeysOn(window);
    EXPECT_EQ(page_.hotkeySlots()[0], 33025);
    EXPECT_EQ(page_.hotkeySlots()[6], 33031);
    EXPECT_EQ(registeredKeys().size(), 12u);
    EXPECT_EQ(messages_, (std::vector<std::string>{on, on, off, off, on}));
}

TEST_F(PhrasePage, HotkeySendsEnterThePhraseByPasteAndEnter) {
    FormWindow& window = mainWindow();
    page_.switchHotkeysOn(window);
    window.setText("快捷编辑框3", utf8ToGbk("第一行\r\n第二行😀"));
    const std::vector<K> chord = {{13, true},  {13, false}, {17, true}, {86, true},
                                  {17, false}, {86, false}, {13, true}, {13, false}};
    struct Case {
        const char* what;
        std::int32_t identifier;
        std::vector<K> keys;
        QString clipboard;
    };
    const Case cases[] = {
        {"F3: phrase 3, line break as X11 text has it", page_.hotkeySlots()[2], chord,
         QStringLiteral("第一行\n第二行😀")},
        {"an empty phrase is pasted all the same", page_.hotkeySlots()[4], chord, QString()},
        {"an identifier no entry holds", 33000 + 13, {}, QStringLiteral("before")},
        {"0 never matches a refused entry", 0, {}, QStringLiteral("before")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        keys_.events.clear();
        page_.sendHotkeyPhrase(window, c.identifier);
        EXPECT_EQ(keys_.events, c.keys);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.clipboard);
    }
}

// Without an X display (offscreen here, as in a Wayland session without
// XWayland) every key is refused and the program goes on.
TEST_F(PhrasePage, WithoutAnX11DisplayEveryKeyIsRefused) {
    FormWindow& window = mainWindow();
    HotkeyService service(platform::systemGlobalHotkeys());
    HotkeyPhraseSender page(service, platform::systemKeyInjector());
    page.switchHotkeysOn(window);
    EXPECT_EQ(page.hotkeySlots(), HotkeySlots{});
    EXPECT_FALSE(service.listening());
    EXPECT_FALSE(platform::systemKeyInjector().injectKey(13, true));
    page.switchHotkeysOff(window);
    EXPECT_EQ(messages_.size(), 2u);
}

}  // namespace
}  // namespace lumivox::testing
