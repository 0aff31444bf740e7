#pragma once

#include "desktop/GlobalShortcuts.h"
#include "desktop/Hotkey.h"

#include <QAbstractNativeEventFilter>
#include <QString>
#include <vector>

// Global shortcuts on X11: each key is grabbed on the root window, and its
// presses arrive through Qt's native event filter. Does nothing on any other
// platform (Available() is false there).
class X11Hotkeys : public GlobalShortcuts, public QAbstractNativeEventFilter {
public:
    X11Hotkeys();
    ~X11Hotkeys() override;
    X11Hotkeys(const X11Hotkeys&) = delete;
    X11Hotkeys& operator=(const X11Hotkeys&) = delete;

    static bool Available();
    // Grabs each shortcut's keys at once.
    Refusals Bind(std::vector<Shortcut> shortcuts) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    enum class Grab { Grabbed, Taken, Invalid, NoX11 };
    struct Key {
        QString id;
        uint8_t keycode;
        uint16_t modifiers;
    };
    // Grabs text ("Ctrl+Alt+E") for id. Taken: another program holds it.
    Grab Add(const QString& id, const QString& text);
    void Release(const Key& key);
    std::vector<Key> keys_;
    bool filtering_ = false;
};
