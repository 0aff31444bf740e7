#pragma once

#include <QImage>

// Under Wayland a program may not read the screen; the desktop portal takes an
// interactive screenshot for it. available is false when the session has no
// such portal; picture is null when the user cancelled.
struct PortalResult {
    bool available = false;
    QImage picture;
};

#ifdef QUILL_NO_PORTAL
inline PortalResult TakePortalScreenshot() {
    return {};
}
#else
PortalResult TakePortalScreenshot();
#endif
