#pragma once

#include "base/Preferences.h"
#include "desktop/GlobalShortcuts.h"
#include "desktop/InstanceChannel.h"

// The program's global shortcuts: the request each makes of the window, the
// id and text a desktop portal keeps, and the settings value with its keys.
struct ProgramShortcut {
    InstanceRequest request;
    const char* id;
    const char* description; // UTF-8
    TextPreference keys;
};

inline constexpr ProgramShortcut kProgramShortcuts[] = {
    {InstanceRequest::TranslateSelection, "translate-selection", "翻译选中文本",
     pref::HotkeyTranslateSelection},
    {InstanceRequest::RecognizeRegion, "recognize-region", "图片文字识别",
     pref::HotkeyRecognizeRegion},
};

// The table with the keys the settings give each shortcut (a value that
// cannot be read counts as absent).
std::vector<GlobalShortcuts::Shortcut> ShortcutsFromSettings();

// The request of a shortcut of the table; Show for an id it does not have.
InstanceRequest RequestOfShortcut(const QString& id);
