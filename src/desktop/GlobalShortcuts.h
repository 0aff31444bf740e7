#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// Shortcuts that work from anywhere on the desktop, bound however the session
// allows: key grabs on X11, the desktop portal on Wayland, or not at all.
class GlobalShortcuts {
public:
    struct Shortcut {
        QString id;          // kept by a desktop portal, e.g. "translate-selection"
        QString description; // shown by the desktop
        QString keys;        // e.g. "Ctrl+Alt+E"; empty: the shortcut is off
    };
    // Keys that could not be bound, as far as the back end knows at once: held
    // by another program, or naming no key it can bind.
    struct Refusals {
        QStringList taken;
        QStringList unusable;
    };

    virtual ~GlobalShortcuts() = default;

    virtual Refusals Bind(std::vector<Shortcut> shortcuts) = 0;

    // Raised with the id of the shortcut the user pressed.
    std::function<void(const QString& id)> OnActivated;
};

// The back end this session offers, with shortcuts bound (those without keys
// left out); refused, when given, gets what could not be bound.
std::unique_ptr<GlobalShortcuts>
CreateGlobalShortcuts(std::vector<GlobalShortcuts::Shortcut> shortcuts,
                      GlobalShortcuts::Refusals* refused = nullptr);
