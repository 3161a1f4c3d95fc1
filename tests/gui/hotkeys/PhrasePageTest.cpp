// The hotkey page's handlers on the real main window, over a hotkey table that
// can refuse a key: what switching on and off registers and says, and the keys
// and clipboard text a hotkey sends.
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "base/Encoding.hpp"
#include "hotkeys/HotkeyPhrases.hpp"
#include "platform/GuiThread.hpp"
#include "tests/gui/app/GuiTest.hpp"
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
    // The clipboard is the real one of the offscreen platform, where nobody reads
    // it: every last Enter comes at the bound.
    HotkeyPhraseSender page_{service_, keys_, platform::systemPasteClipboard(), {5, 40}};
    QTimer closer_;
    std::vector<std::string> messages_;
};

TEST_F(PhrasePage, SwitchingOnAndOffRegistersEachKeyOnceAndSaysSo) {
    grabs_.heldByOthers.insert({0, kF7});
    FormWindow& window = mainWindow();
    const std::string on = "温馨提示：|快捷键开启成功！鼠标点击聊天框！按F1-12即可发送指定数据！";
    const std::string onWithoutF7 =
        "温馨提示：|"
        "快捷键F7已被其他程序占用，按了不会发送数据！其余快捷键开启成功！鼠标点击聊天框！";
    const std::string off = "温馨提示：|快捷键关闭成功！谢谢使用！";

    page_.switchHotkeysOn(window);
    HotkeySlots expected{};
    for (int k = 0; k < 12; ++k) {
        expected[k] = k == 6 ? 0 : 33001 + k;  // F7 is another program's
    }
    EXPECT_EQ(page_.hotkeySlots(), expected);
    EXPECT_EQ(registeredKeys().size(), 11u);
    EXPECT_FALSE(registeredKeys().contains(kF7));
    // Asked for in one request: a desktop that asks the host to confirm new keys
    // asks once.
    EXPECT_EQ(grabs_.batches, std::vector<std::size_t>{12});

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

    // Off while off: nothing to remove, the message all the same, the count stays
    // at 0. On again continues, and off again stops the reports.
    page_.switchHotkeysOff(window);
    EXPECT_EQ(service_.activeCount(), 0);
    grabs_.heldByOthers.clear();
    page_.switchHotkeysOn(window);
    EXPECT_EQ(page_.hotkeySlots()[0], 33025);
    EXPECT_EQ(page_.hotkeySlots()[6], 33031);
    EXPECT_EQ(registeredKeys().size(), 12u);
    page_.switchHotkeysOff(window);
    EXPECT_FALSE(grabs_.listening);
    EXPECT_EQ(messages_, (std::vector<std::string>{onWithoutF7, onWithoutF7, off, off, on, off}));
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
        EXPECT_TRUE(QTest::qWaitFor([&] { return !page_.sending(); }, 2000));
        EXPECT_EQ(keys_.events, c.keys);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.clipboard);
    }
}

// A second hotkey while a phrase waits for its last Enter: it follows whole,
// never in between; the GUI thread runs on meanwhile.
TEST_F(PhrasePage, HotkeyDuringAPasteWaitsForIt) {
    FormWindow& window = mainWindow();
    page_.switchHotkeysOn(window);
    window.setText("快捷编辑框1", "one");
    window.setText("快捷编辑框2", "two");
    page_.sendHotkeyPhrase(window, page_.hotkeySlots()[0]);
    page_.sendHotkeyPhrase(window, page_.hotkeySlots()[1]);
    EXPECT_EQ(keys_.events.size(), 6u) << "the second phrase started before the first ended";
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("one"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !page_.sending(); }, 2000));
    const std::vector<K> phrase = {{13, true},  {13, false}, {17, true}, {86, true},
                                   {17, false}, {86, false}, {13, true}, {13, false}};
    std::vector<K> both = phrase;
    both.insert(both.end(), phrase.begin(), phrase.end());
    EXPECT_EQ(keys_.events, both);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("two"));
}

// A target that is slow to ask for the text (a loaded machine) inserts it as
// slowly: the last Enter waits as long again after the read, not just the
// settle time. Only a lower bound is checked, which no load can break.
TEST_F(PhrasePage, ATargetSlowToAskGetsAsLongToInsert) {
    // The clipboard of a target that asks for the text `askMs` after the offer.
    struct SlowTarget : platform::PasteClipboard {
        int askMs = 0;
        bool offerText(const std::string&, std::function<void()> onRead) override {
            platform::runOnGuiThreadLater(askMs, std::move(onRead));
            return true;
        }
        void giveBack() override {}
    } target;
    FormWindow& window = mainWindow();
    HotkeyPhraseSender sender(service_, keys_, target, {5, 1000});
    sender.switchHotkeysOn(window);
    for (const int askMs : {0, 150}) {
        SCOPED_TRACE(askMs);
        target.askMs = askMs;
        keys_.events.clear();
        QElapsedTimer sent;
        sent.start();
        sender.sendHotkeyPhrase(window, sender.hotkeySlots()[0]);
        ASSERT_TRUE(QTest::qWaitFor([&] { return keys_.events.size() == 8; }, 5000));
        EXPECT_GE(sent.elapsed(), std::max(2 * askMs, 5));
    }
    sender.switchHotkeysOff(window);
}

// Without an X display (offscreen here, as in a Wayland session without
// XWayland) every key is refused and the program goes on.
TEST_F(PhrasePage, WithoutAnX11DisplayEveryKeyIsRefused) {
    FormWindow& window = mainWindow();
    HotkeyService service(platform::systemGlobalHotkeys());
    HotkeyPhraseSender page(service, platform::systemKeyInjector(),
                            platform::systemPasteClipboard());
    page.switchHotkeysOn(window);
    EXPECT_EQ(page.hotkeySlots(), HotkeySlots{});
    EXPECT_FALSE(service.listening());
    EXPECT_FALSE(platform::systemKeyInjector().injectKey(13, true));
    page.switchHotkeysOff(window);
    EXPECT_EQ(messages_, (std::vector<std::string>{
                             "温馨提示：|这里的桌面不允许程序使用全局快捷键，F1-12无法发送数据！",
                             "温馨提示：|快捷键关闭成功！谢谢使用！"}));
}

}  // namespace
}  // namespace lumivox::testing
