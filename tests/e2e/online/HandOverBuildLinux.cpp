// A stand-in for a new build that looks, as it starts, at what the copy it
// replaces still holds: whether anybody answers on the user's action channel,
// whether F1 can be grabbed on the X server, and whether that copy ends within
// fifteen seconds. It writes what it saw to "handover" beside itself and ends.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

bool channelAnswers() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string path = std::string(runtime ? runtime : "") + "/lumivox-actions.socket";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    (void)!write(fd, "\n", 1);
    pollfd ready{fd, POLLIN, 0};
    char reply[64] = {};
    const bool answered = poll(&ready, 1, 3000) > 0 && read(fd, reply, sizeof reply - 1) > 0;
    close(fd);
    return answered;
}

bool refused = false;
int onError(Display*, XErrorEvent* error) {
    refused = refused || error->error_code == BadAccess;
    return 0;
}

bool f1Free() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    XSetErrorHandler(onError);
    const Window root = DefaultRootWindow(display);
    const int f1 = XKeysymToKeycode(display, XK_F1);
    XGrabKey(display, f1, 0, root, True, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    XUngrabKey(display, f1, 0, root);
    XCloseDisplay(display);
    return !refused;
}

}  // namespace

int main(int, char** argv) {
    const pid_t old = getppid();
    const std::string self = argv[0];
    const bool answers = channelAnswers();
    const bool free = f1Free();
    bool ended = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!ended && std::chrono::steady_clock::now() < until) {
        ended = getppid() != old || kill(old, 0) != 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::ofstream(self.substr(0, self.find_last_of('/') + 1) + "handover")
        << "channel: " << (answers ? "answered" : "free") << "\nF1: " << (free ? "free" : "taken")
        << "\nold copy: " << (ended ? "ended" : "running") << "\n";
    return 0;
}
