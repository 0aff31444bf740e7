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
    // A session with neither X11 nor a portal binds nowhere and refuses nothing.
    GlobalShortcuts::Refusals refused{{"x"}, {"y"}};
    const auto shortcuts = CreateGlobalShortcuts(table, &refused);
    ASSERT_TRUE(shortcuts);
    EXPECT_TRUE(refused.taken.isEmpty());
    EXPECT_TRUE(refused.unusable.isEmpty());
    EXPECT_EQ(RequestOfShortcut(table[1].id), InstanceRequest::RecognizeRegion);
    // An id of no shortcut of ours (a portal's stale binding) only shows the window.
    EXPECT_EQ(RequestOfShortcut("translate"), InstanceRequest::Show);
}

} // namespace
