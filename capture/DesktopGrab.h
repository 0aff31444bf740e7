#pragma once

#include <QImage>
#include <QRect>

// The whole desktop frozen at one moment: every monitor in device pixels, its
// logical geometry, and the scale between the two.
struct DesktopGrab {
    QImage picture;
    QRect geometry;
    qreal ratio = 1;
};

// Empty picture when the screen cannot be read.
DesktopGrab GrabDesktop();
