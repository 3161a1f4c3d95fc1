// The hotkey service's identifiers, active count and modifier codes, and the
// order of injected keys, over a hotkey table that can refuse a key.
#include <gtest/gtest.h>

#include "FakeHotkeys.hpp"
#include "base/Encoding.hpp"
#include "hotkeys/HotkeyService.hpp"
#include "hotkeys/SimulateKeys.hpp"

namespace lumivox::testing {
namespace {

constexpr int kF1 = 0x70, kF2 = 0x71;
using platform::kHotkeyAlt, platform::kHotkeyControl, platform::kHotkeyShift;

TEST(HotkeyService, IdentifiersAndActiveCountFollowEveryCall) {
    FakeHotkeys grabs;
    grabs.heldByOthers.insert({0, kF2});
    HotkeyService service(grabs);
    struct Step {
        const char* what;
        bool add;
        int modifiers, key;       // add
        std::int32_t identifier;  // remove
        std::int32_t result;      // identifier or logical
        std::int32_t count, last;
        bool listening;
    };
    const Step steps[] = {
        {"first registration", true, 0, kF1, 0, 33001, 1, 33001, true},
        {"our own key again is refused", true, 0, kF1, 0, 0, 2, 33002, true},
        {"a key another program holds", true, 0, kF2, 0, 0, 3, 33003, true},
        {"same key with Ctrl is another combination", true, 1, kF1, 0, 33004, 4, 33004, true},
        {"an identifier that was refused", false, 0, 0, 33002, false, 3, 33004, true},
        {"a registered one", false, 0, 0, 33001, true, 2, 33004, true},
        {"another", false, 0, 0, 33004, true, 1, 33004, true},
        {"count back to 0 stops the reports", false, 0, 0, 33003, true, 0, 33004, false},
        {"removing again stays at 0", false, 0, 0, 33001, false, 0, 33004, false},
        {"numbers are never reused", true, 0, kF1, 0, 33005, 1, 33005, true},
        {"back to 0 after the extra removal: reports stop", false, 0, 0, 33005, true, 0, 33005,
         false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::int32_t result =
            step.add ? service.addGlobalHotkey({}, step.modifiers, step.key)
                     : static_cast<std::int32_t>(service.removeGlobalHotkey(step.identifier));
        EXPECT_EQ(result, step.result);
        EXPECT_EQ(service.activeCount(), step.count);
        EXPECT_EQ(service.lastIdentifier(), step.last);
        EXPECT_EQ(service.listening(), step.listening);
        EXPECT_EQ(grabs.listening, step.listening);
    }
    EXPECT_EQ(service.sequence(), 5u);
    EXPECT_EQ(grabs.registered.size(), 0u);
}

TEST(HotkeyService, ModifierCodesBecomePlatformFlags) {
    const std::pair<int, unsigned> table[] = {
        {0, 0u},
        {1, kHotkeyControl},
        {2, kHotkeyShift},
        {3, kHotkeyControl | kHotkeyShift},
        {4, kHotkeyAlt},
        {5, kHotkeyControl | kHotkeyAlt},
        {6, kHotkeyShift | kHotkeyAlt},
        {7, 7u},            // passed on unchanged
        {0x4000, 0x4000u},  // likewise
    };
    FakeHotkeys grabs;
    HotkeyService service(grabs);
    for (const auto& [code, flags] : table) {
        SCOPED_TRACE(code);
        EXPECT_EQ(HotkeyService::translateModifiers(code), flags);
        const std::int32_t id = service.addGlobalHotkey({}, code, kF1);
        ASSERT_NE(id, 0);
        EXPECT_EQ(grabs.registered.at(id), (FakeHotkeys::Combination{flags, kF1}));
        service.removeGlobalHotkey(id);
    }
}

TEST(HotkeyService, FiredHotkeyReachesTheLastReceiverOnlyWhileRegistered) {
    FakeHotkeys grabs;
    HotkeyService service(grabs);
    std::vector<std::pair<int, int>> first, second;
    const std::int32_t f1 = service.addGlobalHotkey(
        [&](std::int32_t a, std::int32_t b) { first.emplace_back(a, b); }, 0, kF1);
    const std::int32_t f2 = service.addGlobalHotkey(
        [&](std::int32_t a, std::int32_t b) { second.emplace_back(a, b); }, 0, kF2);
    grabs.press(0, kF1);
    grabs.press(0, kF2);
    grabs.listener(32999);       // not ours
    grabs.listener(33003);       // not handed out yet
    EXPECT_TRUE(first.empty());  // every registration moves the receiver
    EXPECT_EQ(second, (std::vector<std::pair<int, int>>{{f1, 0}, {f2, 0}}));
    service.removeGlobalHotkey(f1);
    grabs.press(0, kF1);
    EXPECT_EQ(second.size(), 2u);
}

TEST(SimulateKeys, PressesInOrderThenReleasesInTheSameOrder) {
    using K = RecordingKeys::KeyEvent;
    struct Case {
        const char* what;
        KeyArgument k1, k2, k3;
        std::vector<K> events;
        std::vector<char32_t> looked = {};
    };
    const Case cases[] = {
        {"Enter", 13, {}, {}, {{13, true}, {13, false}}},
        {"Ctrl+V", 17, 86, {}, {{17, true}, {86, true}, {17, false}, {86, false}}},
        {"three keys",
         16,
         17,
         65,
         {{16, true}, {17, true}, {65, true}, {16, false}, {17, false}, {65, false}}},
        {"a missing middle key", 16, 0, 65, {{16, true}, {65, true}, {16, false}, {65, false}}},
        {"the first key even as 0", 0, {}, {}, {{0, true}, {0, false}}},
        {"only the low byte counts", 0x10D, 0x100, {}, {{13, true}, {13, false}}},
        {"a text: its first character's key",
         "v",
         "ab",
         {},
         {{'V', true}, {'A', true}, {'V', false}, {'A', false}},
         {U'v', U'a'}},
        {"a GBK character no key types",
         KeyArgument(std::string_view(utf8ToGbk("中文"))),
         {},
         {},
         {{0xFF, true}, {0xFF, false}},
         {U'中'}},
        {"an empty text is no key", 17, "", {}, {{17, true}, {17, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingKeys keys;
        simulateKeys(keys, c.k1, c.k2, c.k3);
        EXPECT_EQ(keys.events, c.events);
        EXPECT_EQ(keys.looked, c.looked);
    }
}

}  // namespace
}  // namespace lumivox::testing
