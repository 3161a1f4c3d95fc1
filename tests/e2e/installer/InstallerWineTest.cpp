// The installer on a new user's machine (a fresh Wine prefix): a silent install
// without administrator rights puts the program, a Start-menu entry that starts
// it and an uninstaller listed under the user's installed programs in place;
// a reinstall while the program runs says so and writes nothing, and works
// once it has quit, keeping the host's data; the silent uninstall takes all of
// it away again. Needs a screen for the running copy (scripts/wine-with-display).
#include <windows.h>

#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "platform/DataFolder.hpp"
#include "platform/StartMenu.hpp"
#include "platform/windows/WideText.hpp"
#include "tests/e2e/app/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace {

using namespace std::chrono_literals;
using lumivox::testing::wholeFile;
namespace fs = std::filesystem;

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumivox";

fs::path knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    fs::path result;
    if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK)
        result = path;
    CoTaskMemFree(path);
    return result;
}

// Runs a command line to its end; its exit code, or -1.
int run(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(started.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(started.hProcess, &code);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return static_cast<int>(code);
}

// A string value of the uninstaller's entry, or nothing.
std::optional<std::wstring> entryValue(const wchar_t* name) {
    wchar_t value[1024];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

// Where a shell link points.
fs::path linkTarget(const fs::path& link) {
    IShellLinkW* shellLink = nullptr;
    fs::path target;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                         reinterpret_cast<void**>(&shellLink)) != S_OK)
        return target;
    IPersistFile* file = nullptr;
    wchar_t path[MAX_PATH] = L"";
    if (shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)) == S_OK) {
        if (file->Load(link.c_str(), STGM_READ) == S_OK &&
            shellLink->GetPath(path, MAX_PATH, nullptr, 0) == S_OK)
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

TEST(Installer, InstallsForTheUserAloneAndUninstallsCompletely) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    const fs::path folder = knownFolder(FOLDERID_LocalAppData) / "Programs" / "Lumivox";
    const fs::path link = knownFolder(FOLDERID_Programs) / "Lumivox.lnk";
    ASSERT_FALSE(fs::exists(folder)) << "not a fresh prefix";

    // Windows asks for no administrator rights: the manifest runs it as the user.
    const std::string installer = wholeFile(LUMIVOX_INSTALLER);
    EXPECT_NE(installer.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);

    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(run(L"\"" + fs::path(LUMIVOX_INSTALLER).wstring() + L"\" /S"), 0);
    std::printf("silent install: %.2f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());

    // The program byte for byte, the uninstaller beside it, and nothing else.
    const std::string program = wholeFile(LUMIVOX_INSTALLED_PROGRAM);
    ASSERT_FALSE(program.empty());
    EXPECT_TRUE(wholeFile(folder / "Lumivox.exe") == program);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Lumivox.exe", "Uninstall.exe"}));

    ASSERT_TRUE(fs::exists(link));
    EXPECT_TRUE(fs::equivalent(linkTarget(link), folder / "Lumivox.exe"));

    // The folder is the user's own: the updater lands a new build beside the
    // program, and the Start-menu entry then starts that one.
    fs::copy_file(folder / "Lumivox.exe", folder / "Lumivox-2.0.exe");
    std::ofstream(folder / "Lumivox-2.1.exe.download") << "an unfinished download";
    EXPECT_TRUE(lumivox::platform::pointStartMenuEntryAt(
        lumivox::platform::narrow((folder / "Lumivox-2.0.exe").wstring())));
    EXPECT_TRUE(fs::equivalent(linkTarget(link), folder / "Lumivox-2.0.exe"));
    // A program elsewhere is not ours: the entry stays.
    EXPECT_FALSE(lumivox::platform::pointStartMenuEntryAt("C:\\windows\\notepad.exe"));
    EXPECT_TRUE(fs::equivalent(linkTarget(link), folder / "Lumivox-2.0.exe"));

    // Installing again over it, while no copy runs, works; the host's data is
    // elsewhere and the landed build stays until the uninstall.
    ASSERT_EQ(run(L"\"" + fs::path(LUMIVOX_INSTALLER).wstring() + L"\" /S"), 0);
    EXPECT_TRUE(fs::exists(folder / "Lumivox-2.0.exe"));
    EXPECT_TRUE(wholeFile(folder / "Lumivox.exe") == program);
    // While a copy runs (its file held as the loader holds it), it says so and stops.
    const HANDLE running =
        CreateFileW((folder / "Lumivox-2.0.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(running, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run(L"\"" + fs::path(LUMIVOX_INSTALLER).wstring() + L"\" /S"), 2);
    CloseHandle(running);

    // A real running copy: the installed program itself, started as the host
    // would. Its server does not answer here, so it shows the version check's
    // box and runs until the host presses Enter. The installer says so, writes
    // nothing, and once the copy has quit a reinstall works; the host's data
    // stays as it was throughout.
    const fs::path data = fs::u8path(lumivox::platform::dataFolder());
    ASSERT_FALSE(data.empty());
    fs::create_directories(data);
    std::ofstream(data / "host-data.txt", std::ios::binary) << "the host's own settings";
    {
        const fs::path installed = folder / "Lumivox.exe";
        lumivox::testing::Started copy(lumivox::platform::narrow(installed.wstring()), folder);
        ASSERT_TRUE(copy.ok());
        HWND box = copy.waitForWindow(L"信息：", 60s);
        ASSERT_NE(box, nullptr) << "the copy did not come up";
        // The installer writes its uninstaller after the program: with it
        // gone beforehand, its absence afterwards shows that nothing was written.
        ASSERT_TRUE(fs::remove(folder / "Uninstall.exe"));
        EXPECT_EQ(run(L"\"" + fs::path(LUMIVOX_INSTALLER).wstring() + L"\" /S"), 2);
        EXPECT_TRUE(copy.running());
        EXPECT_FALSE(fs::exists(folder / "Uninstall.exe"));
        EXPECT_TRUE(wholeFile(installed) == program);
        lumivox::testing::pressKey(box, VK_RETURN);
        ASSERT_EQ(copy.waitForExit(30s), 0);
    }
    // An older build in its place, as an upgrade finds it.
    std::ofstream(folder / "Lumivox.exe", std::ios::binary | std::ios::trunc) << "older build";
    ASSERT_EQ(run(L"\"" + fs::path(LUMIVOX_INSTALLER).wstring() + L"\" /S"), 0);
    EXPECT_TRUE(wholeFile(folder / "Lumivox.exe") == program);
    EXPECT_TRUE(fs::exists(folder / "Uninstall.exe"));
    EXPECT_EQ(wholeFile(data / "host-data.txt"), "the host's own settings");

    EXPECT_EQ(entryValue(L"DisplayName"), L"Lumivox");
    EXPECT_EQ(entryValue(L"DisplayVersion"), L"1.0");
    EXPECT_EQ(entryValue(L"InstallLocation"), folder.wstring());
    const auto quiet = entryValue(L"QuietUninstallString");
    ASSERT_TRUE(quiet);
    EXPECT_EQ(*quiet, L"\"" + (folder / "Uninstall.exe").wstring() + L"\" /S");

    // The uninstaller copies itself elsewhere and ends at once; its copy removes
    // the folder with the uninstaller and every landed build in it.
    ASSERT_EQ(run(*quiet), 0);
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (fs::exists(folder) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(link));
    EXPECT_FALSE(entryValue(L"DisplayName"));
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    CoUninitialize();
}

}  // namespace
