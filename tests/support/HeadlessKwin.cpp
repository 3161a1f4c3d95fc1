#include "tests/support/HeadlessKwin.hpp"

#include <sys/stat.h>

#include <fstream>

namespace lumivox::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* kDisplay = "wayland-lumivox";
constexpr const char* kPortalKde =
    "/usr/share/dbus-1/services/org.freedesktop.impl.portal.desktop.kde.service";
constexpr const char* kPortal = "/usr/share/dbus-1/services/org.freedesktop.portal.Desktop.service";
// The portal's KDE backend is a Qt 5 program: on Wayland it needs Qt 5's platform.
constexpr const char* kQt5Wayland =
    "/usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so";

}  // namespace

std::string HeadlessKwin::missingPackages() {
    std::string missing;
    if (runCommand("command -v kwin_wayland >/dev/null").status != 0) {
        missing += " kwin-wayland";
    }
    if (!fs::exists(kPortal)) {
        missing += " xdg-desktop-portal";
    }
    if (!fs::exists(kPortalKde)) {
        missing += " xdg-desktop-portal-kde";
    }
    if (!fs::exists(kQt5Wayland)) {
        missing += " qtwayland5";
    }
    if (runCommand("command -v dbus-daemon >/dev/null && command -v dbus-send >/dev/null").status !=
        0) {
        missing += " dbus";
    }
    return missing;
}

HeadlessKwin::HeadlessKwin(Portal portal) {
    runtime_ = root_.path() / "runtime";
    home_ = root_.path() / "home";
    makeSessionFolders(root_.path());
    busAddress_ = "unix:path=" + (root_.path() / "bus").string();
    // The bus starts the portals with its own environment: this session's. It
    // knows the installed services but the notification server, which would be
    // Plasma's shell here: asked for by the portal's keyboard, it waits for a
    // shell that never comes and holds the portal's answer for half a minute.
    const fs::path services = root_.path() / "services";
    fs::create_directories(services);
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/share/dbus-1/services", error)) {
        const std::string name = entry.path().filename().string();
        const bool left =
            name == "org.kde.plasma.Notifications.service" ||
            (portal == Portal::Absent && name.starts_with("org.freedesktop.portal.Desktop"));
        if (!left) {
            fs::copy_file(entry.path(), services / entry.path().filename(), error);
        }
    }
    const fs::path config = root_.path() / "bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                             "Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig><type>session</type><listen>"
                          << busAddress_ << "</listen><servicedir>" << services.string()
                          << "</servicedir><policy context=\"default\"><allow "
                             "send_destination=\"*\" eavesdrop=\"true\"/><allow "
                             "eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
    bus_ = std::make_unique<Subprocess>(
        std::vector<std::string>{"dbus-daemon", "--nofork", "--config-file=" + config.string()},
        environment(), root_.path() / "bus.out", root_.path() / "bus.log");
    if (!waitUntil([&] { return fs::exists(root_.path() / "bus"); }, 10s)) {
        return;
    }
    // The installed kwin_wayland carries a file capability that this kind of
    // machine refuses to run; a plain copy, under the same name, runs.
    const fs::path kwin = root_.path() / "bin" / "kwin_wayland";
    std::string installed = runCommand("command -v kwin_wayland").output;
    installed.erase(installed.find_last_not_of("\n") + 1);
    fs::copy_file(installed, kwin);
    chmod(kwin.c_str(), 0755);
    auto env = environment();
    env["WAYLAND_DISPLAY"] = "";
    env["KWIN_COMPOSE"] = "Q";
    kwin_ = std::make_unique<Subprocess>(
        std::vector<std::string>{kwin.string(), "--virtual", "--socket", kDisplay,
                                 "--no-lockscreen"},
        env, root_.path() / "kwin.out", root_.path() / "kwin.log");
    ok_ = waitUntil([&] { return fs::exists(runtime_ / kDisplay) && kwin_->running(); }, 30s) &&
          waitUntil(
              [&] {
                  // KWin is ready once it serves the shortcut service on the bus.
                  return run("dbus-send --session --print-reply --dest=org.freedesktop.DBus / "
                             "org.freedesktop.DBus.NameHasOwner string:org.kde.kglobalaccel")
                             .output.find("true") != std::string::npos;
              },
              30s);
}

HeadlessKwin::~HeadlessKwin() {
    kwin_.reset();
    // The portals the bus started end with it (they lose their bus).
    bus_.reset();
}

std::string HeadlessKwin::log() const {
    return "kwin: " + wholeFile(root_.path() / "kwin.log") +
           "\nbus: " + wholeFile(root_.path() / "bus.log");
}

std::map<std::string, std::string> HeadlessKwin::environment() const {
    auto env = waylandSessionEnvironment(runtime_, kDisplay, home_);
    env["DBUS_SESSION_BUS_ADDRESS"] = busAddress_;
    env["XDG_CURRENT_DESKTOP"] = "KDE";
    env["XDG_SESSION_TYPE"] = "wayland";
    return env;
}

CommandResult HeadlessKwin::run(const std::string& command) const {
    std::string line;
    for (const auto& [key, value] : environment()) {
        line += key + "=" + shellQuoted(value) + " ";
    }
    return runCommand("env " + line + "sh -c " + shellQuoted(command));
}

fs::path HeadlessKwin::folder(const std::string& name) const {
    const fs::path folder = home_ / name;
    fs::create_directories(folder);
    return folder;
}

std::string HeadlessKwin::evaluate(const std::string& expression) {
    // The script prints to KWin's log, under a mark of its own.
    const std::string name = "lumivoxscript" + std::to_string(++scripts_);
    const fs::path script = root_.path() / (name + ".js");
    std::ofstream(script) << "print(\"" << name << " [\" + (" << expression << ") + \"]\");\n";
    const std::string call = "dbus-send --session --print-reply --dest=org.kde.KWin /Scripting ";
    run(call + "org.kde.kwin.Scripting.loadScript string:" + script.string() + " string:" + name);
    run(call + "org.kde.kwin.Scripting.start");
    const std::string mark = name + " [";
    std::string value;
    waitUntil(
        [&] {
            const std::string log = wholeFile(root_.path() / "kwin.log");
            const std::size_t at = log.find(mark);
            if (at == std::string::npos) {
                return false;
            }
            const std::size_t end = log.find("]\n", at);
            value = log.substr(at + mark.size(), end - at - mark.size());
            return true;
        },
        5s);
    run(call + "org.kde.kwin.Scripting.unloadScript string:" + name);
    return value;
}

int HeadlessKwin::input(const std::string& steps) const {
    return run("/usr/bin/python3 " + (sourceDir() / "tests/support/portal_input.py").string() +
               " " + steps)
        .status;
}

std::string HeadlessKwin::focusedTitle() {
    return evaluate("workspace.activeClient ? workspace.activeClient.caption : \"\"");
}

}  // namespace lumivox::testing
