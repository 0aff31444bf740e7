#include "DesktopGrab.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <cmath>

DesktopGrab GrabDesktop() {
    DesktopGrab grab;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return grab;
    grab.geometry = primary->virtualGeometry();
    // One scale for the whole desktop: X11 sessions give every monitor the same.
    for (QScreen* screen : primary->virtualSiblings())
        grab.ratio = std::max(grab.ratio, screen->devicePixelRatio());
    const QSize deviceSize(static_cast<int>(std::lround(grab.geometry.width() * grab.ratio)),
                           static_cast<int>(std::lround(grab.geometry.height() * grab.ratio)));

    // On X11 window 0 is the root window, which spans every monitor.
    QImage whole = primary->grabWindow(0).toImage();
    if (whole.size() == deviceSize) {
        grab.picture = whole.convertToFormat(QImage::Format_RGB32);
        grab.picture.setDevicePixelRatio(1);
        return grab;
    }
    // Otherwise put each monitor's own picture in its place.
    QImage composed(deviceSize, QImage::Format_RGB32);
    composed.fill(Qt::black);
    QPainter painter(&composed);
    for (QScreen* screen : primary->virtualSiblings()) {
        QImage part = screen->grabWindow(0).toImage();
        if (part.isNull())
            continue;
        part.setDevicePixelRatio(1);
        const QPoint offset = screen->geometry().topLeft() - grab.geometry.topLeft();
        painter.drawImage(QPointF(offset.x() * grab.ratio, offset.y() * grab.ratio), part);
    }
    painter.end();
    grab.picture = composed;
    return grab;
}
