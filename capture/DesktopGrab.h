#pragma once

#include <QImage>
#include <QRect>
#include <vector>

class QScreen;

// One monitor: where it lies in the desktop's device pixels and its scale.
struct MonitorGrab {
    QScreen* screen = nullptr;
    QRect device;
    qreal ratio = 1;
};

// The whole desktop frozen at one moment, in device pixels: picture covers
// device, the bounding box of every monitor, at device.topLeft(). Monitors
// may have different scales, so logical coordinates mean nothing here.
struct DesktopGrab {
    QImage picture;
    QRect device;
    std::vector<MonitorGrab> monitors;
};

// Empty picture when the screen cannot be read.
DesktopGrab GrabDesktop();
