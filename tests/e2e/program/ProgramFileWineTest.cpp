// Lumivox.exe as a Windows user's system sees it, under Wine: its manifest,
// icon and version information (and the installer's), the DLLs it imports,
// and that a DLL dropped beside it under the name of one of its imports is not
// loaded. Arguments: Lumivox.exe, the installer, the fake DLL and the probe
// that imports winmm.dll the ordinary way.
#include <windows.h>
// After windows.h, whose types they use.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/windows/WideText.hpp"
#include "tests/e2e/app/WineDriving.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string programPath, installerPath, fakeDllPath, probePath;

// The imports that are not Known DLLs, which the program must delay-load.
const std::set<std::string> kDelayLoaded = {"comctl32.dll", "msacm32.dll", "wininet.dll",
                                            "winmm.dll",    "bcrypt.dll"};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A program file's resources, read as data (nothing of it runs).
class ResourceFile {
  public:
    explicit ResourceFile(const std::string& path)
        : module_(LoadLibraryExW(windowsPath(path).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceFile() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;
    HMODULE module() const { return module_; }

    std::string bytes(LPCWSTR type, LPCWSTR name) const {
        HRSRC found = FindResourceW(module_, name, type);
        if (found == nullptr) {
            return {};
        }
        const void* data = LockResource(LoadResource(module_, found));
        return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
    }

    // The icon group's images: their pixel size (width) and resource identifier.
    std::map<int, WORD> iconGroup(LPCWSTR name) const {
        const std::string group = bytes(MAKEINTRESOURCEW(14), name);  // RT_GROUP_ICON
        std::map<int, WORD> images;
        if (group.size() < 6) {
            return images;
        }
        WORD count = 0;
        std::memcpy(&count, group.data() + 4, 2);
        for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
            const char* entry = group.data() + 6 + 14 * i;
            WORD id = 0;
            std::memcpy(&id, entry + 12, 2);
            const int width = static_cast<unsigned char>(entry[0]);
            images[width == 0 ? 256 : width] = id;
        }
        return images;
    }

  private:
    HMODULE module_;
};

// The first icon group of a file: the icon Explorer shows for it.
std::wstring firstIconGroup(HMODULE module) {
    std::wstring first;
    EnumResourceNamesW(
        module, MAKEINTRESOURCEW(14),
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
            auto* out = reinterpret_cast<std::wstring*>(param);
            *out = IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                        : std::wstring(name);
            return FALSE;
        },
        reinterpret_cast<LONG_PTR>(&first));
    return first;
}

// A string of a file's version information (U.S. English, Unicode).
std::wstring versionString(const std::string& path, const wchar_t* key) {
    const std::wstring file = windowsPath(path);
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(file.c_str(), &ignored));
    if (info.empty() ||
        !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) {
        return L"(no version information)";
    }
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || length == 0) {
        return L"(no " + std::wstring(key) + L")";
    }
    return static_cast<const wchar_t*>(value);
}

const std::wstring kVersion = platform::widen(LUMIVOX_EXPECTED_VERSION);
const std::wstring kFileVersion = platform::widen(LUMIVOX_EXPECTED_FILE_VERSION);

TEST(ProgramFile, ManifestAsksForNoElevationCommonControls6AndNamesTheSupportedSystems) {
    ResourceFile program(programPath);
    ASSERT_NE(program.module(), nullptr);
    const std::string manifest = program.bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty()) << "no manifest (RT_MANIFEST 1)";
    for (const char* wanted : {
             "level=\"asInvoker\"",
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
         }) {
        EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
    }
    // DPI awareness only where the build asks for it (LUMIVOX_DPI_AWARE).
    EXPECT_EQ(manifest.find("PerMonitorV2") != std::string::npos, LUMIVOX_EXPECT_DPI_AWARE != 0);
}

TEST(ProgramFile, TheProgramAndTheInstallerCarryTheIconAtEverySize) {
    for (const std::string& path : {programPath, installerPath}) {
        SCOPED_TRACE(path);
        ResourceFile file(path);
        ASSERT_NE(file.module(), nullptr);
        const std::wstring group = firstIconGroup(file.module());
        ASSERT_FALSE(group.empty()) << "no icon group";
        const auto images = file.iconGroup(group[0] == L'#' ? MAKEINTRESOURCEW(std::stoi(group.substr(1)))
                                                            : group.c_str());
        std::set<int> sizes;
        for (const auto& [size, id] : images) {
            sizes.insert(size);
            // Each image is one the system can make an icon of, at its size.
            const std::string image = file.bytes(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(id));
            ASSERT_FALSE(image.empty()) << size;
            HICON icon = CreateIconFromResourceEx(
                reinterpret_cast<PBYTE>(const_cast<char*>(image.data())),
                static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size, 0);
            EXPECT_NE(icon, nullptr) << size << " pixels";
            ICONINFO info{};
            BITMAP bitmap{};
            if (icon != nullptr && GetIconInfo(icon, &info)) {
                GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
                EXPECT_EQ(bitmap.bmWidth, size);
                DeleteObject(info.hbmColor);
                DeleteObject(info.hbmMask);
            }
            if (icon != nullptr) {
                DestroyIcon(icon);
            }
        }
        EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 64, 128, 256}));
        if (path == programPath) {
            EXPECT_EQ(group, L"DEFAULT_ICON");
        }
    }
}

TEST(ProgramFile, VersionInformationComesFromTheProjectVersion) {
    struct Case {
        const std::string* file;
        const wchar_t* key;
        std::wstring expected;
    };
    const Case cases[] = {
        {&programPath, L"ProductName", L"Lumivox"},
        {&programPath, L"ProductVersion", kVersion},
        {&programPath, L"FileVersion", kFileVersion},
        {&programPath, L"OriginalFilename", L"Lumivox.exe"},
        {&installerPath, L"ProductName", L"Lumivox"},
        {&installerPath, L"ProductVersion", kVersion},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(versionString(*c.file, c.key), c.expected) << *c.file << " " << platform::narrow(c.key);
    }
    // The fixed part, which Explorer's "File version" shows.
    const std::wstring file = windowsPath(programPath);
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(file.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const std::wstring dotted = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                                std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(dotted, kFileVersion);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
}

// The DLLs named in the program's import directory: the ones the system loads
// with it. (GNU ld leaves the delay-import directory entry empty; the delay-load
// helper linked into the program finds its own tables.)
std::set<std::string> importedDlls(HMODULE image) {
    auto* base = reinterpret_cast<const BYTE*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::set<std::string> names;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
         entry.VirtualAddress != 0 && d->Name != 0; ++d) {
        names.insert(lower(reinterpret_cast<const char*>(base + d->Name)));
    }
    return names;
}

TEST(ProgramFile, ImportsOnlyKnownDllsTheOrdinaryWay) {
    // Mapped as an image but not started: nothing it imports is loaded.
    HMODULE image =
        LoadLibraryExW(windowsPath(programPath).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(image, nullptr);
    const auto ordinary = importedDlls(image);
    FreeLibrary(image);
    std::string listing;
    for (const auto& name : ordinary) {
        listing += " " + name;
    }
    std::printf("imported at load time:%s\n", listing.c_str());
    // The Known DLLs of Windows 7 to 11 (HKLM\...\Session Manager\KnownDLLs)
    // are always loaded from the system folder.
    const std::set<std::string> known = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
                                         "msvcrt.dll",   "ole32.dll",    "shell32.dll", "user32.dll",
                                         "ws2_32.dll"};
    for (const std::string& dll : ordinary) {
        EXPECT_EQ(known.count(dll), 1u) << dll << " is neither a Known DLL nor delay-loaded";
    }
}

// A folder holding a copy of a program and, beside it, the fake DLL under the
// name of each delay-loaded import. The fake writes "<its name>.loaded" into
// its own folder when a process loads it.
class DroppedDlls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(fakeDllPath.empty());
        folder_ = dir_.path();
        for (const std::string& dll : kDelayLoaded) {
            fs::copy_file(windowsPath(fakeDllPath), folder_ / dll);
        }
        // Wine, unlike Windows, prefers its own DLLs to one beside the program:
        // the test runs with WINEDLLOVERRIDES "<dll>=n,b" for each (Wine reads
        // it from the Unix environment at a process's start), so that, as on
        // Windows, a DLL file found by the search comes first.
        ASSERT_NE(std::string(std::getenv("WINEDLLOVERRIDES") ? std::getenv("WINEDLLOVERRIDES") : "")
                      .find("winmm=n,b"),
                  std::string::npos);
        // No version file anywhere: the check fails at once, after loading WinINet.
        SetEnvironmentVariableW(L"LUMIVOX_SERVER", L"127.0.0.1:1");
    }
    std::set<std::string> loadedFakes() const {
        std::set<std::string> loaded;
        for (const std::string& dll : kDelayLoaded) {
            if (fs::exists(folder_ / (dll + ".loaded"))) {
                loaded.insert(dll);
            }
        }
        return loaded;
    }

    // Each of the delay-loaded DLLs that the process has loaded, with the folder
    // it came from.
    static std::map<std::string, std::wstring> loadedFrom(HANDLE process) {
        std::map<std::string, std::wstring> found;
        HMODULE modules[512];
        DWORD needed = 0;
        if (!EnumProcessModules(process, modules, sizeof modules, &needed)) {
            return found;
        }
        for (DWORD i = 0; i < std::min<DWORD>(needed / sizeof(HMODULE), 512); ++i) {
            wchar_t path[MAX_PATH] = {};
            GetModuleFileNameExW(process, modules[i], path, MAX_PATH);
            const fs::path file(path);
            const std::string name = lower(platform::narrow(file.filename().wstring()));
            if (kDelayLoaded.count(name) != 0) {
                found[name] = file.parent_path().wstring();
            }
        }
        return found;
    }

    TempDir dir_, elsewhere_;
    fs::path folder_;
};

TEST_F(DroppedDlls, AProgramThatImportsWinmmTheOrdinaryWayLoadsTheOneBesideIt) {
    // The test's own control: under these overrides the fake does get loaded.
    fs::copy_file(windowsPath(probePath), folder_ / "probe.exe");
    Started probe((folder_ / "probe.exe").string(), folder_);
    ASSERT_TRUE(probe.ok());
    probe.waitForExit(30s);
    EXPECT_EQ(loadedFakes(), (std::set<std::string>{"winmm.dll"}));
}

TEST_F(DroppedDlls, LumivoxLoadsItsImportsFromTheSystemFolderOnly) {
    fs::copy_file(windowsPath(programPath), folder_ / "Lumivox.exe");
    Started program((folder_ / "Lumivox.exe").string(), elsewhere_.path());
    ASSERT_TRUE(program.ok());
    ASSERT_NE(program.waitForWindow(L"LumivoxV1.0", 60s), nullptr);
    // The version check (WinINet) runs a second or so after the window shows;
    // its failure message box says it has run.
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, program.processId());
    ASSERT_NE(process, nullptr);
    EXPECT_TRUE(waitUntil([&] { return loadedFrom(process).count("wininet.dll") != 0; }, 30s));
    const auto loaded = loadedFrom(process);
    CloseHandle(process);
    EXPECT_TRUE(loadedFakes().empty());
    EXPECT_TRUE(loaded.count("comctl32.dll") != 0 && loaded.count("wininet.dll") != 0);
    // From the system folder, or common controls 6 from the side-by-side store
    // (the manifest asks for it).
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::string system = lower(platform::narrow(windows)) + "\\system32";
    const std::string sideBySide =
        lower(platform::narrow(windows)) + "\\winsxs\\amd64_microsoft.windows.common-controls_";
    for (const auto& [dll, folder] : loaded) {
        const std::string from = lower(platform::narrow(folder));
        EXPECT_TRUE(from == system || (dll == "comctl32.dll" && from.rfind(sideBySide, 0) == 0))
            << dll << " from " << from;
    }
}

}  // namespace
}  // namespace lumivox::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 4) {
        lumivox::testing::programPath = argv[1];
        lumivox::testing::installerPath = argv[2];
        lumivox::testing::fakeDllPath = argv[3];
        lumivox::testing::probePath = argv[4];
    }
    return RUN_ALL_TESTS();
}
