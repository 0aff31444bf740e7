// The capture library: one C export, PrScrn, that returns when the user has
// chosen a region (left on the clipboard as an image) or cancelled (clipboard
// untouched).
#include "CaptureSession.h"
#include "DesktopGrab.h"
#include "PortalScreenshot.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>

namespace {

bool IsWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

int CaptureWithPortal() {
    const PortalResult shot = TakePortalScreenshot();
    if (shot.picture.isNull())
        return 0;
    QGuiApplication::clipboard()->setImage(shot.picture);
    return 1;
}

int CaptureWithOverlay() {
    DesktopGrab grab = GrabDesktop();
    if (grab.picture.isNull())
        return 0;
    QEventLoop loop;
    bool confirmed = false;
    QImage chosen;
    {
        CaptureSession session(std::move(grab), [&](bool ok) {
            confirmed = ok;
            loop.quit();
        });
        session.Show();
        loop.exec();
        if (confirmed)
            chosen = session.ChosenPicture();
    }
    // Nothing of ours may outlive the call: the library is unloaded after it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!confirmed || chosen.isNull())
        return 0;
    QGuiApplication::clipboard()->setImage(chosen);
    return 1;
}

} // namespace

extern "C" Q_DECL_EXPORT int PrScrn() {
    // Widgets need the host's QApplication; without one there is nothing to show.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return 0;
    if (IsWayland())
        return CaptureWithPortal();
    return CaptureWithOverlay();
}
