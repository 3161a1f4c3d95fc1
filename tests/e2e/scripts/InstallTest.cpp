// `cmake --install` of this build into a fresh prefix: the tree a package or a
// user's install gets, checked with the desktop's own validators.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;

TEST(Install, GivesTheProgramItsDesktopEntryIconsAndMetadata) {
    TempDir prefix;
    const CommandResult install = runCommand("cmake --install " + binaryDir().string() +
                                             " --prefix " + prefix.path().string() + " 2>&1");
    ASSERT_EQ(install.status, 0) << install.output;
    const fs::path share = prefix / "share";
    // (A missing file's permissions are "unknown", whose bits include owner_exec.)
    ASSERT_TRUE(fs::is_regular_file(prefix / "bin/lumivox"));
    EXPECT_EQ(fs::status(prefix / "bin/lumivox").permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec);

    const fs::path entry = share / "applications/io.github.lumivox.Lumivox.desktop";
    const CommandResult desktop = runCommand("desktop-file-validate " + entry.string() + " 2>&1");
    EXPECT_EQ(desktop.status, 0) << desktop.output;
    EXPECT_EQ(desktop.output, "");
    const CommandResult metainfo =
        runCommand("appstreamcli validate --no-net " +
                   (share / "metainfo/io.github.lumivox.Lumivox.metainfo.xml").string() + " 2>&1");
    EXPECT_EQ(metainfo.status, 0) << metainfo.output;
    // The entry starts the installed program by name and shows its icon.
    EXPECT_EQ(runCommand("sed -n 's/^Exec=//p; s/^Icon=//p' " + entry.string()).output,
              "lumivox\nlumivox\n");

    // Each icon is a PNG of the size its folder names.
    for (int size : {16, 32, 48, 64, 128}) {
        const std::string dim = std::to_string(size);
        const fs::path icon = share / ("icons/hicolor/" + dim + "x" + dim + "/apps/lumivox.png");
        EXPECT_NE(runCommand("file -b " + icon.string()).output.find(dim + " x " + dim),
                  std::string::npos)
            << icon;
    }
}

}  // namespace
}  // namespace lumivox::testing
