#pragma once
// The real program under a private X server, started from an install folder of
// its own (an update lands beside it) against a web site of the test's choice.
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QImage>

#include "tests/support/PrivateDisplay.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {

class OnlineProgram {
  public:
    OnlineProgram();

    bool displayOk() const { return xvfb_.ok(); }
    const std::filesystem::path& installFolder() const { return install_.path(); }
    std::filesystem::path programPath() const { return install_ / "Lumivox"; }

    // Starts the program with LUMIVOX_SERVER = `server` and the extra environment;
    // `prefix` runs it through another command (setpriv...).
    void start(const std::string& server, std::map<std::string, std::string> env = {},
               const std::vector<std::string>& prefix = {});
    Subprocess& process() { return *program_; }

    std::string x(const std::string& command);
    WindowGeometry geometry(const std::string& title);
    bool waitForWindow(const std::string& title, int seconds);
    // Presses Enter in the top-level window of that title (a message box's OK).
    void pressEnterIn(const std::string& title);
    void click(const std::string& title, int left, int top);
    QImage screenshot();
    // The program's standard error and the X server's name, for failure messages.
    std::string log();

  private:
    PrivateDisplay xvfb_;
    TempDir install_;
    TempDir config_;
    TempDir work_;
    std::unique_ptr<Subprocess> program_;
};

}  // namespace lumivox::testing
