// scripts/setup on a machine where the user runs a web server of their own.
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

// One package reported missing makes setup take its install path; apt-get only
// records what it was asked, so nothing is installed. The user's own nginx (a
// real one, on a private port) must still serve afterwards: setup stops nothing
// it did not start.
TEST(SetupScript, InstallingLeavesTheUsersWebServerRunning) {
    TempDir dir;
    fs::create_directory(dir / "site");
    std::ofstream(dir / "site/index.html") << "mine";
    NginxServer users(dir / "site");
    ASSERT_TRUE(users.ok());
    const std::string fetch = "curl -s --max-time 5 " + users.url("/index.html");
    ASSERT_EQ(runCommand(fetch).output, "mine");

    fs::create_directory(dir / "bin");
    writeScript(dir / "bin/dpkg-query",
                "[ \"$3\" = xvfb ] && exit 1\nexec /usr/bin/dpkg-query \"$@\"\n");
    writeScript(dir / "bin/apt-get", "echo \"$@\" >> " + (dir / "apt.log").string() + "\n");
    const CommandResult setup = runCommand("PATH=" + (dir / "bin").string() + ":$PATH " +
                                           (sourceDir() / "scripts/setup").string() + " 2>&1");
    EXPECT_EQ(setup.status, 0) << setup.output;
    std::ifstream log(dir / "apt.log");
    const std::string asked((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(asked.find("install -y -qq --no-install-recommends xvfb"), std::string::npos)
        << asked;

    EXPECT_EQ(runCommand(fetch).output, "mine");
}

}  // namespace
}  // namespace lumivox::testing
