#include "DesktopGrab.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

DesktopGrab GrabDesktop() {
    DesktopGrab grab;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return grab;
    std::vector<QImage> parts;
    for (QScreen* screen : primary->virtualSiblings()) {
        // Window 0 is the root window; each screen grabs its own monitor of
        // it, in device pixels.
        QImage part = screen->grabWindow(0).toImage();
        if (part.isNull())
            continue;
        part.setDevicePixelRatio(1);
        // Qt keeps a screen's origin in device pixels and scales only its size.
        const QRect device(screen->geometry().topLeft(), part.size());
        grab.monitors.push_back({screen, device, screen->devicePixelRatio()});
        grab.device |= device;
        parts.push_back(std::move(part));
    }
    if (grab.monitors.empty())
        return grab;
    // Black where no monitor is, on desktops that are not one rectangle.
    QImage whole(grab.device.size(), QImage::Format_RGB32);
    whole.fill(Qt::black);
    QPainter painter(&whole);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (size_t i = 0; i < parts.size(); ++i)
        painter.drawImage(grab.monitors[i].device.topLeft() - grab.device.topLeft(), parts[i]);
    painter.end();
    grab.picture = whole;
    return grab;
}
