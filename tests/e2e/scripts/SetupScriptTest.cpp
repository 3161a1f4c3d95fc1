// scripts/setup with the package manager and the service tools replaced by
// recorders: which packages it asks for, how, and which services it stops. The
// package database answers for real except for the packages a case calls
// missing, which the recording apt-get "installs".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/NginxServer.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;

void writeScript(const fs::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
}

struct SetupRun {
    CommandResult result;
    std::string apt;       // each apt-get call's arguments, a line each
    std::string services;  // each systemctl or invoke-rc.d call, a line each
};

// Runs scripts/setup with `arguments` on a machine where the packages in
// `missing` (a line each) are not installed.
SetupRun runSetup(const TempDir& dir, const std::string& arguments, const std::string& missing) {
    const fs::path bin = dir / "bin";
    fs::create_directories(bin);
    std::ofstream(dir / "missing") << missing;
    const std::string missingFile = (dir / "missing").string();
    writeScript(bin / "dpkg-query", "grep -qx \"$3\" " + missingFile +
                                        " && exit 1\nexec /usr/bin/dpkg-query \"$@\"\n");
    // Installing makes every missing package installed.
    writeScript(bin / "apt-get", "echo \"$@\" >> " + (dir / "apt.log").string() +
                                     "\ncase \" $* \" in *' install '*) : > " + missingFile +
                                     ";; esac\n");
    for (const char* tool : {"systemctl", "invoke-rc.d"}) {
        writeScript(bin / tool, std::string("echo \"") + tool + " $*\" >> " +
                                    (dir / "services.log").string() + "\n");
    }
    writeScript(bin / "sudo", "exec \"$@\"\n");
    SetupRun run;
    run.result = runCommand("PATH=" + bin.string() + ":$PATH " +
                            (sourceDir() / "scripts/setup").string() + " " + arguments + " 2>&1");
    run.apt = wholeFile(dir / "apt.log");
    run.services = wholeFile(dir / "services.log");
    return run;
}

std::string aptCalls(const std::string& packages) {
    const std::string apt = "-o DPkg::Lock::Timeout=600 ";
    return apt + "update -qq\n" + apt + "install -y -qq --no-install-recommends " + packages +
           "\n";
}

// What is asked of apt-get and of the service tools. A service that a package
// of this run brought along (nginx, with nginx-common) is stopped once; one that
// was there before belongs to the user and is left alone.
TEST(SetupScript, AsksForWhatIsMissingAndStopsOnlyTheServicesItBrought) {
    const std::string stopNginx = fs::exists("/run/systemd/system")
                                      ? "systemctl disable --now nginx\n"
                                      : "invoke-rc.d nginx stop\n";
    const struct {
        const char* name;
        const char* arguments;
        const char* missing;
        std::string apt, services;
    } cases[] = {
        {"nothing missing", "", "", "", ""},
        {"a package, its service already there", "", "xvfb\n", aptCalls("xvfb"), ""},
        {"the web server new", "", "nginx-light\nnginx-common\n", aptCalls("nginx-light"),
         stopNginx},
        {"KDE's packages are the tests' alone", "", "xvfb\nkwin-wayland\n", aptCalls("xvfb"), ""},
        {"the tests' set-up installs them", "--tests", "xvfb\nkwin-wayland\n",
         aptCalls("xvfb kwin-wayland"), ""},
        {"the tests' set-up, the web server new", "--tests",
         "nginx-common\nnginx-light\nlibkf5globalaccel-bin\n",
         aptCalls("nginx-light libkf5globalaccel-bin"), stopNginx},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const SetupRun run = runSetup(dir, c.arguments, c.missing);
        EXPECT_EQ(run.result.status, 0) << run.result.output;
        EXPECT_EQ(run.apt, c.apt);
        EXPECT_EQ(run.services, c.services);
    }
    TempDir dir;
    EXPECT_EQ(runSetup(dir, "--all", "").result.status, 2);
}

// The user's own nginx (a real one, on a private port) still serves after a set-up
// that installed something: setup stops nothing it did not start.
TEST(SetupScript, InstallingLeavesTheUsersWebServerRunning) {
    TempDir dir;
    fs::create_directory(dir / "site");
    std::ofstream(dir / "site/index.html") << "mine";
    NginxServer users(dir / "site");
    ASSERT_TRUE(users.ok());
    const std::string fetch = "curl -s --max-time 5 " + users.url("/index.html");
    ASSERT_EQ(runCommand(fetch).output, "mine");

    const SetupRun run = runSetup(dir, "", "xvfb\n");
    EXPECT_EQ(run.result.status, 0) << run.result.output;
    EXPECT_EQ(run.apt, aptCalls("xvfb"));
    EXPECT_EQ(runCommand(fetch).output, "mine");
}

}  // namespace
}  // namespace lumivox::testing
