#include "desktop/ShortcutTable.h"

std::vector<GlobalShortcuts::Shortcut> ShortcutsFromSettings() {
    std::vector<GlobalShortcuts::Shortcut> shortcuts;
    for (const ProgramShortcut& s : kProgramShortcuts)
        shortcuts.push_back({QString::fromLatin1(s.id), QString::fromUtf8(s.description),
                             Preferences::Get(s.keys)});
    return shortcuts;
}

InstanceRequest RequestOfShortcut(const QString& id) {
    for (const ProgramShortcut& s : kProgramShortcuts)
        if (id == QLatin1String(s.id))
            return s.request;
    return InstanceRequest::Show;
}
