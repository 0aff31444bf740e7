#pragma once

#include "desktop/Hotkey.h"

#include <QAbstractNativeEventFilter>
#include <QString>
#include <functional>
#include <vector>

// Global shortcuts on X11: each key is grabbed on the root window, and its
// presses arrive through Qt's native event filter. Does nothing on any other
// platform (Available() is false there).
class X11Hotkeys : public QAbstractNativeEventFilter {
public:
    enum class Grab { Grabbed, Taken, Invalid, NoX11 };

    X11Hotkeys();
    ~X11Hotkeys() override;
    X11Hotkeys(const X11Hotkeys&) = delete;
    X11Hotkeys& operator=(const X11Hotkeys&) = delete;

    static bool Available();
    // Grabs text ("Ctrl+Alt+E") for id. Taken: another program holds it.
    Grab Add(int id, const QString& text);

    std::function<void(int id)> OnPressed;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Key {
        int id;
        uint8_t keycode;
        uint16_t modifiers;
    };
    void Release(const Key& key);
    std::vector<Key> keys_;
    bool filtering_ = false;
};
