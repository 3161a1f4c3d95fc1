#include "tests/support/HeadlessSway.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>

namespace lumivox::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

HeadlessSway::HeadlessSway() : uid_(geteuid() == 0 ? kNobody : geteuid()) {
    runtime_ = root_.path() / "runtime";
    home_ = root_.path() / "home";
    makeSessionFolders(root_.path());
    chmod(root_.path().c_str(), 0755);
    for (const fs::path& folder :
         {root_.path(), runtime_, home_, home_ / ".config", root_.path() / "bin"}) {
        if (chown(folder.c_str(), uid_, uid_) != 0) {
            return;
        }
    }
    const fs::path config = root_.path() / "sway.conf";
    std::ofstream(config) << "output HEADLESS-1 resolution 1280x1024\n";
    chmod(config.c_str(), 0644);
    std::map<std::string, std::string> env = environment();
    env.erase("WAYLAND_DISPLAY");
    env.erase("SWAYSOCK");
    env["WLR_BACKENDS"] = "headless";
    env["WLR_LIBINPUT_NO_DEVICES"] = "1";
    env["WLR_RENDERER"] = "pixman";
    sway_ = std::make_unique<Subprocess>(asUser({"sway", "-c", config.string()}), env,
                                         root_.path() / "sway.out", root_.path() / "sway.log");
    const bool up = waitUntil(
        [&] {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(runtime_, error)) {
                const std::string name = entry.path().filename().string();
                if (name.starts_with("wayland-") && !name.ends_with(".lock")) {
                    display_ = name;
                } else if (name.starts_with("sway-ipc.")) {
                    swaySocket_ = entry.path().string();
                }
            }
            return !display_.empty() && !swaySocket_.empty() && sway_->running();
        },
        20s);
    if (!up || run("swaymsg -t get_version").status != 0) {
        display_.clear();
    }
}

HeadlessSway::~HeadlessSway() {
    sway_.reset();
}

std::string HeadlessSway::log() const {
    return wholeFile(root_.path() / "sway.log");
}

std::map<std::string, std::string> HeadlessSway::environment() const {
    auto env = waylandSessionEnvironment(runtime_, display_, home_);
    env["SWAYSOCK"] = swaySocket_;
    return env;
}

std::vector<std::string> HeadlessSway::asUser(const std::vector<std::string>& argv) const {
    if (geteuid() != 0) {
        return argv;
    }
    std::vector<std::string> line = {"setpriv", "--reuid=" + std::to_string(uid_),
                                     "--regid=" + std::to_string(uid_), "--clear-groups", "--"};
    line.insert(line.end(), argv.begin(), argv.end());
    return line;
}

CommandResult HeadlessSway::run(const std::string& command) const {
    std::string line;
    for (const auto& [key, value] : environment()) {
        line += key + "=" + shellQuoted(value) + " ";
    }
    std::string prefix;
    for (const std::string& part : asUser({})) {
        prefix += part + " ";
    }
    return runCommand(prefix + "env " + line + "sh -c " + shellQuoted(command));
}

fs::path HeadlessSway::reachable(const fs::path& program) const {
    if (run("test -x " + shellQuoted(program.string())).status == 0) {
        return program;
    }
    const fs::path copy = root_.path() / "bin" / program.filename();
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    chmod(copy.c_str(), 0755);
    return copy;
}

fs::path HeadlessSway::userFolder(const std::string& name) const {
    const fs::path folder = home_ / name;
    fs::create_directories(folder);
    (void)!chown(folder.c_str(), uid_, uid_);
    return folder;
}

std::string HeadlessSway::focusedTitle() const {
    // The focused node of the tree, as swaymsg prints it: "name" comes after "focused": true.
    const std::string tree = run("swaymsg -t get_tree").output;
    std::smatch m;
    const std::regex focused(R"re("focused": true,[\s\S]*?"name": "([^"]*)")re");
    return std::regex_search(tree, m, focused) ? m[1].str() : std::string();
}

}  // namespace lumivox::testing
