#include "tests/e2e/online/OnlineProgram.hpp"

#include <fstream>

namespace lumivox::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

OnlineProgram::OnlineProgram() : xvfb_(1280, 1024) {
    fs::copy_file(LUMIVOX_PROGRAM_FILE, programPath());
    // Others (a program run as another user) may look in, not write.
    fs::permissions(install_.path(), fs::perms(0755));
    fs::permissions(config_.path(), fs::perms(0777));
}

void OnlineProgram::start(const std::string& server, std::map<std::string, std::string> env,
                          const std::vector<std::string>& prefix) {
    auto all = xvfb_.environment();
    all["XDG_CONFIG_HOME"] = config_.path().string();
    all["LUMIVOX_SERVER"] = server;
    for (auto& [name, value] : env)
        all[name] = value;
    std::vector<std::string> argv = prefix;
    argv.push_back(programPath().string());
    program_ = std::make_unique<Subprocess>(argv, all, work_ / "out.txt", work_ / "err.txt");
}

std::string OnlineProgram::x(const std::string& command) {
    return xvfb_.x(command);
}

WindowGeometry OnlineProgram::geometry(const std::string& title) {
    return xvfb_.geometry(title);
}

bool OnlineProgram::waitForWindow(const std::string& title, int seconds) {
    return waitUntil([&] { return geometry(title).viewable; }, std::chrono::seconds(seconds));
}

void OnlineProgram::pressEnterIn(const std::string& title) {
    const std::string ids = x("xdotool search --name '^" + title + "$'");
    x("xdotool windowfocus --sync " + ids.substr(0, ids.find('\n')) + " key Return");
}

void OnlineProgram::click(const std::string& title, int left, int top) {
    xvfb_.click(title, left, top);
}

QImage OnlineProgram::screenshot() {
    const fs::path file = work_ / "screen.png";
    x("import -window root " + file.string());
    return QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_RGB32);
}

std::string OnlineProgram::log() {
    std::ifstream in(work_ / "err.txt");
    return std::string(std::istreambuf_iterator<char>(in), {}) + "\nX server " + xvfb_.display();
}

}  // namespace lumivox::testing
