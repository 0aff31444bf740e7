#include "desktop/X11Hotkeys.h"

#include <QGuiApplication>
#include <xcb/xcb.h>

namespace {

// Caps Lock and Num Lock must not stop a shortcut: each key is grabbed once
// for every state of the two.
constexpr uint16_t kLock = XCB_MOD_MASK_LOCK, kNumLock = XCB_MOD_MASK_2;
constexpr uint16_t kIgnored[] = {0, kLock, kNumLock, kLock | kNumLock};

xcb_connection_t* Connection() {
    // A program without a GUI application (the command line) has no display:
    // qGuiApp would be a wrong cast there.
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t Root(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// The first key code that carries keysym in the current keyboard mapping.
uint8_t KeycodeOf(xcb_connection_t* c, uint32_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const uint8_t first = setup->min_keycode;
    const int count = setup->max_keycode - first + 1;
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, first, uint8_t(count)), nullptr);
    if (!reply)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    const int per = reply->keysyms_per_keycode;
    uint8_t found = 0;
    for (int i = 0; i < count && !found; ++i)
        for (int j = 0; j < per && !found; ++j)
            if (syms[i * per + j] == keysym)
                found = uint8_t(first + i);
    free(reply);
    return found;
}

} // namespace

X11Hotkeys::X11Hotkeys() = default;

X11Hotkeys::~X11Hotkeys() {
    for (const Key& key : keys_)
        Release(key);
    if (filtering_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11Hotkeys::Available() {
    return Connection() != nullptr;
}

GlobalShortcuts::Refusals X11Hotkeys::Bind(std::vector<Shortcut> shortcuts) {
    Refusals refused;
    for (const Shortcut& s : shortcuts) {
        if (s.keys.isEmpty())
            continue;
        const Grab grab = Add(s.id, s.keys);
        if (grab == Grab::Taken)
            refused.taken << s.keys;
        else if (grab == Grab::Invalid)
            refused.unusable << s.keys;
    }
    return refused;
}

X11Hotkeys::Grab X11Hotkeys::Add(const QString& id, const QString& text) {
    xcb_connection_t* c = Connection();
    if (!c)
        return Grab::NoX11;
    const std::optional<KeyChord> chord = ParseHotkey(text);
    const uint8_t keycode = chord ? KeycodeOf(c, chord->keysym) : 0;
    if (!keycode)
        return Grab::Invalid;
    const Key key{id, keycode, chord->modifiers};
    bool taken = false;
    for (uint16_t extra : kIgnored) {
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_grab_key_checked(c, 1, Root(c), key.modifiers | extra, keycode,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (error) {
            taken = true; // BadAccess: another client holds it
            free(error);
        }
    }
    if (taken) {
        Release(key);
        return Grab::Taken;
    }
    keys_.push_back(key);
    if (!filtering_) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        filtering_ = true;
    }
    return Grab::Grabbed;
}

void X11Hotkeys::Release(const Key& key) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    for (uint16_t extra : kIgnored)
        xcb_ungrab_key(c, key.keycode, Root(c), key.modifiers | extra);
    xcb_flush(c);
}

bool X11Hotkeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    const uint16_t state = press->state & ~(kLock | kNumLock);
    for (const Key& key : keys_) {
        if (key.keycode == press->detail && key.modifiers == (state & 0xFF)) {
            if (OnActivated)
                OnActivated(key.id);
            return true;
        }
    }
    return false;
}
