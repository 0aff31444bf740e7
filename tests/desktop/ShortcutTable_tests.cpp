#include "TempHome.h"
#include "base/Settings.h"
#include "desktop/GlobalShortcuts.h"
#include "desktop/ShortcutTable.h"

#include <gtest/gtest.h>

namespace {

// The keys come from the settings: a stored value replaces the built-in keys,
// an empty one turns the shortcut off, and one that cannot be read counts as
// absent rather than stopping the others.
TEST(ShortcutTable, KeysFromTheSettings) {
    TempHome home;
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString("HotkeyTranslateSelection", "Ctrl+Shift+T"));
    ASSERT_TRUE(key->WriteInteger("HotkeyRecognizeRegion", 5));
    std::vector<GlobalShortcuts::Shortcut> table = ShortcutsFromSettings();
    ASSERT_EQ(table.size(), std::size(kProgramShortcuts));
    EXPECT_EQ(table[0].keys, "Ctrl+Shift+T");
    EXPECT_EQ(table[1].keys, QString::fromUtf8(pref::HotkeyRecognizeRegion.fallback));

    ASSERT_TRUE(key->WriteString("HotkeyTranslateSelection", ""));
    table = ShortcutsFromSettings();
    EXPECT_TRUE(table[0].keys.isEmpty());
    // Off is off for every back end: nothing is bound, nothing refused.
    GlobalShortcuts::Refusals refused{{"x"}, {"y"}};
    const auto shortcuts = CreateGlobalShortcuts(table, &refused);
    ASSERT_TRUE(shortcuts);
    EXPECT_TRUE(refused.taken.isEmpty());
    EXPECT_TRUE(refused.unusable.isEmpty());
}

TEST(ShortcutTable, EachIdAsksForItsRequest) {
    for (const ProgramShortcut& s : kProgramShortcuts)
        EXPECT_EQ(RequestOfShortcut(QString::fromLatin1(s.id)), s.request) << s.id;
    EXPECT_EQ(RequestOfShortcut("translate"), InstanceRequest::Show);
    EXPECT_EQ(RequestOfShortcut(""), InstanceRequest::Show);
}

} // namespace
