#include "desktop/GlobalShortcuts.h"

#include "desktop/PortalShortcuts.h"
#include "desktop/X11Hotkeys.h"

#include <QGuiApplication>
#include <algorithm>

namespace {

// A session that lets no program bind keys: the desktop's own settings can
// still run the command line for them.
class NoShortcuts final : public GlobalShortcuts {
public:
    Refusals Bind(std::vector<Shortcut>) override { return {}; }
};

} // namespace

std::unique_ptr<GlobalShortcuts>
CreateGlobalShortcuts(std::vector<GlobalShortcuts::Shortcut> shortcuts,
                      GlobalShortcuts::Refusals* refused) {
    std::erase_if(shortcuts, [](const GlobalShortcuts::Shortcut& s) { return s.keys.isEmpty(); });
    std::unique_ptr<GlobalShortcuts> made;
    if (X11Hotkeys::Available())
        made = std::make_unique<X11Hotkeys>();
    // Wayland lets no program grab keys; the desktop's portal binds them.
    else if (!shortcuts.empty() &&
             QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
             PortalShortcuts::Available())
        made = std::make_unique<PortalShortcuts>();
    else
        made = std::make_unique<NoShortcuts>();
    GlobalShortcuts::Refusals refusals = made->Bind(std::move(shortcuts));
    if (refused)
        *refused = std::move(refusals);
    return made;
}
