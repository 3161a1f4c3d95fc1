// KDE's global shortcut service as the program's hotkey table: a real kglobalaccel
// on a private session bus and a private X server (the service grabs keys there,
// as it does inside KWin on Wayland). What is refused, what a press reports, and
// that what we gave back another component can take. Needs the service's program
// (kglobalaccel5, package libkf5globalaccel-bin): without it the test skips, or
// fails on CI.
#include <cstdlib>
#include <map>
#include <vector>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QGuiApplication>

#include "platform/linux/qt/GlobalHotkeysKde.hpp"
#include "tests/support/HotkeyTableSteps.hpp"
#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::platform {
namespace {

using namespace std::chrono_literals;
constexpr int kF9 = 0x78, kF10 = 0x79;
constexpr int kQtF9 = Qt::Key_F9, kQtF10 = Qt::Key_F10;

std::string missingService() {
    return testing::runCommand("command -v kglobalaccel5 >/dev/null").status == 0
               ? ""
               : " libkf5globalaccel-bin";
}

// Whether another program's action gets the key (a refused key comes back as 0).
bool otherTakes(const QString& action, int qtKey) {
    const QStringList id{QStringLiteral("othercomponent"), action, QStringLiteral("Other"), action};
    auto call = [&](const QString& method, const QList<QVariant>& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
            QStringLiteral("org.kde.KGlobalAccel"), method);
        message.setArguments(arguments);
        return QDBusConnection::sessionBus().call(message);
    };
    call(QStringLiteral("doRegister"), {id});
    const QDBusReply<QList<int>> reply =
        call(QStringLiteral("setShortcut"), {id, QVariant::fromValue(QList<int>{qtKey}), uint(6)});
    return reply.isValid() && reply.value().contains(qtKey);
}

testing::PrivateDisplay* display = nullptr;

TEST(KdeHotkeys, RefusesHeldKeysReportsPressesAndGivesKeysBack) {
    LUMIVOX_NEEDS_INSTALLED(missingService());
    ASSERT_TRUE(KdeGlobalHotkeys::available());
    KdeGlobalHotkeys hotkeys;
    std::vector<int> fired;
    ASSERT_TRUE(hotkeys.startListening([&](int identifier) { fired.push_back(identifier); }));
    ASSERT_TRUE(otherTakes(QStringLiteral("F10"), kQtF10));

    testing::runHotkeyTableSteps(hotkeys, kF9, kF10);

    // A press of F9 wherever the focus is: reported once, under its identifier.
    display->x("xdotool key F9");
    testing::waitUntil(
        [&] {
            QCoreApplication::processEvents();
            return !fired.empty();
        },
        5s);
    testing::waitUntil(
        [] {
            QCoreApplication::processEvents();
            return false;
        },
        300ms);
    EXPECT_EQ(fired, std::vector<int>{6});

    // What we hold another component cannot take; what we gave back, it can.
    EXPECT_FALSE(otherTakes(QStringLiteral("F9"), kQtF9));
    EXPECT_TRUE(hotkeys.unregisterHotkey(6));
    EXPECT_TRUE(otherTakes(QStringLiteral("F9"), kQtF9));
    EXPECT_TRUE(hotkeys.unregisterHotkey(3));
    EXPECT_TRUE(hotkeys.stopListening());
}

}  // namespace
}  // namespace lumivox::platform

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    lumivox::testing::PrivateDisplay display;
    lumivox::platform::display = &display;
    for (const auto& [key, value] : display.environment()) {
        setenv(key.c_str(), value.c_str(), 1);
    }
    // A private session bus with the shortcut service on it, for this run only.
    lumivox::testing::TempDir dir;
    const std::string address = "unix:path=" + (dir.path() / "bus").string();
    lumivox::testing::Subprocess bus(
        {"dbus-daemon", "--session", "--nofork", "--address=" + address});
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    std::unique_ptr<lumivox::testing::Subprocess> service;
    if (lumivox::platform::missingService().empty()) {
        lumivox::testing::waitUntil([&] { return std::filesystem::exists(dir.path() / "bus"); },
                                    std::chrono::seconds(5));
        // Its settings in a folder of this run's own: the service remembers every
        // component's keys, and an earlier run's would refuse this run's.
        const auto config = dir.path() / "config";
        std::filesystem::create_directories(config);
        service = std::make_unique<lumivox::testing::Subprocess>(
            std::vector<std::string>{"kglobalaccel5"},
            std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "xcb"},
                                               {"XDG_CONFIG_HOME", config.string()}});
    }
    QGuiApplication app(argc, argv);
    if (service) {
        lumivox::testing::waitUntil(lumivox::platform::KdeGlobalHotkeys::available,
                                    std::chrono::seconds(10));
    }
    return RUN_ALL_TESTS();
}
