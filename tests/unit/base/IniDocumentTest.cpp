#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/IniDocument.hpp"
#include "platform/SettingsStore.hpp"
#include "tests/support/TestSupport.hpp"

namespace lumivox {
namespace {

// A file a host might prepare by hand: a byte-order mark, CR LF ends, comments,
// spaces around '=', an unknown group and key, a duplicate key and a stray line.
constexpr std::string_view kHandWritten =
    "\xEF\xBB\xBF; Lumivox settings\r\n"
    "[audio]\r\n"
    "  effects_volume = 50 \r\n"
    "monitor=false\r\n"
    "future_key = keep me\r\n"
    "effects_volume=90\r\n"
    "not a key line\r\n"
    "\r\n"
    "[someone_elses]\r\n"
    "x=1=2\r\n";

TEST(IniDocument, ReadsWhatAHostWritesByHand) {
    const IniDocument ini = IniDocument::parse(kHandWritten);
    EXPECT_EQ(ini.value("audio", "effects_volume"), "50");  // the first of two counts
    EXPECT_FALSE(ini.boolValue("audio", "monitor", true));
    EXPECT_EQ(ini.value("audio", "future_key"), "keep me");
    EXPECT_EQ(ini.value("someone_elses", "x"), "1=2");
    EXPECT_EQ(ini.value("audio", "missing"), std::nullopt);
    EXPECT_EQ(ini.value("nogroup", "x"), std::nullopt);
    EXPECT_EQ(ini.groups(), (std::vector<std::string>{"audio", "someone_elses"}));
}

TEST(IniDocument, BadValuesGiveTheFallback) {
    struct Case {
        const char* text;
        long long number;  // within 0..100, fallback 7
        int flag;          // fallback true; -1 stands for the fallback
    };
    const Case cases[] = {
        {"0", 0, 0},      {"100", 100, -1}, {"+42", 42, -1}, {"101", 7, -1}, {"-1", 7, -1},
        {"", 7, -1},      {"5 %", 7, -1},   {"0x10", 7, -1}, {"50.5", 7, -1},
        {"99999999999999999999999", 7, -1}, {"true", 7, 1},  {"FALSE", 7, 0}, {"off", 7, 0},
        {"tru", 7, -1},   {"1", 1, 1},
    };
    for (const Case& c : cases) {
        IniDocument ini = IniDocument::parse(std::string("[g]\nk=") + c.text + "\n");
        EXPECT_EQ(ini.intValue("g", "k", 0, 100, 7), c.number) << c.text;
        EXPECT_EQ(ini.boolValue("g", "k", true), c.flag == -1 ? true : c.flag == 1) << c.text;
    }
}

TEST(IniDocument, ChangesKeepEverythingElseInItsPlace) {
    IniDocument ini = IniDocument::parse(kHandWritten);
    ini.setInt("audio", "effects_volume", 30);
    ini.setBool("audio", "songs_to_microphone", true);
    ini.set("remote", "listen", "127.0.0.1:8750");
    EXPECT_EQ(ini.serialize(),
              "; Lumivox settings\n"
              "[audio]\n"
              "effects_volume=30\n"
              "monitor=false\n"
              "future_key=keep me\n"
              "effects_volume=90\n"
              "songs_to_microphone=true\n"
              "not a key line\n"
              "\n"
              "[someone_elses]\n"
              "x=1=2\n"
              "\n"
              "[remote]\n"
              "listen=127.0.0.1:8750\n");
    // What is written reads back the same.
    EXPECT_EQ(IniDocument::parse(ini.serialize()), ini);
    EXPECT_TRUE(ini.removeGroup("someone_elses"));
    EXPECT_FALSE(ini.removeGroup("someone_elses"));
    EXPECT_TRUE(ini.removeKey("audio", "monitor"));
    EXPECT_EQ(ini.groups(), (std::vector<std::string>{"audio", "remote"}));
}

TEST(IniDocument, AValueOrKeyCannotAddALineOfItsOwn) {
    IniDocument ini;
    ini.set("effect12", "caption", "狗叫\n[remote]\ntoken=stolen\r");
    ini.set("effect12", "bad=key", "x");
    ini.set("effect12", "[group", "x");
    ini.set("effect12", "; comment", "x");
    const IniDocument back = IniDocument::parse(ini.serialize());
    EXPECT_EQ(back.groups(), std::vector<std::string>{"effect12"});
    EXPECT_EQ(back.value("effect12", "caption"), "狗叫 [remote] token=stolen");
    EXPECT_EQ(back.value("remote", "token"), std::nullopt);
}

TEST(SettingsStore, KeepsTheFileWholeAndTellsWhenItCannotWrite) {
    testing::TempDir dir;
    const std::string path = (dir / "lumivox.ini").string();
    platform::SettingsStore store;
    EXPECT_TRUE(store.open(path));  // missing: empty, not an error
    EXPECT_FALSE(store.snapshot().hasGroup("audio"));

    std::ofstream(path, std::ios::binary) << kHandWritten;
    ASSERT_TRUE(store.open(path));
    ASSERT_TRUE(store.change([](IniDocument& ini) { ini.setInt("audio", "songs_volume", 40); }));
    platform::SettingsStore again;
    ASSERT_TRUE(again.open(path));
    EXPECT_EQ(again.snapshot().value("audio", "songs_volume"), "40");
    EXPECT_EQ(again.snapshot().value("audio", "future_key"), "keep me");

    // A folder where the file should be: the write fails, the change is kept in
    // memory, the result says so.
    platform::SettingsStore blocked;
    std::filesystem::create_directory(dir / "blocked.ini");
    blocked.open((dir / "blocked.ini").string());
    EXPECT_FALSE(blocked.change([](IniDocument& ini) { ini.setBool("audio", "monitor", false); }));
    EXPECT_FALSE(blocked.snapshot().boolValue("audio", "monitor", true));
}

}  // namespace
}  // namespace lumivox
