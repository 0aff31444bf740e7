#include "CaptureSession.h"

#include "CaptureOverlay.h"

#include <QTimer>
#include <algorithm>
#include <cstdlib>

namespace {

// The rectangle between two corners in any order; right and bottom exclusive.
QRect Span(const QPoint& a, const QPoint& b) {
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QSize(std::abs(a.x() - b.x()), std::abs(a.y() - b.y())));
}

// Edges as positions between pixels, so that right and bottom are exclusive.
int RightEdge(const QRect& r) {
    return r.x() + r.width();
}
int BottomEdge(const QRect& r) {
    return r.y() + r.height();
}

QPoint Clamp(const QPoint& p, const QRect& bounds) {
    return QPoint(std::clamp(p.x(), bounds.x(), RightEdge(bounds)),
                  std::clamp(p.y(), bounds.y(), BottomEdge(bounds)));
}

} // namespace

CaptureSession::CaptureSession(DesktopGrab grab, std::function<void(bool confirmed)> finished)
    : grab_(std::move(grab)), finished_(std::move(finished)) {
    for (const MonitorGrab& monitor : grab_.monitors) {
        const QImage part = grab_.picture.copy(monitor.device.translated(-grab_.device.topLeft()));
        overlays_.push_back(std::make_unique<CaptureOverlay>(*this, monitor, part));
    }
}

CaptureSession::~CaptureSession() = default;

void CaptureSession::Show() {
    for (auto& overlay : overlays_)
        overlay->show();
    // One window holds the keyboard; every overlay hands its keys here anyway.
    if (!overlays_.empty())
        QTimer::singleShot(0, overlays_.front().get(),
                           [overlay = overlays_.front().get()] { overlay->TakeInput(); });
}

QRect CaptureSession::DeviceSelection() const {
    const QRect r = Span(anchor_, corner_).intersected(grab_.device);
    return r.isEmpty() ? QRect() : r;
}

QImage CaptureSession::ChosenPicture() const {
    const QRect r = DeviceSelection();
    return r.isEmpty() ? QImage() : grab_.picture.copy(r.translated(-grab_.device.topLeft()));
}

int CaptureSession::HitTest(const QPoint& p, int tolerance) const {
    const QRect r = DeviceSelection();
    if (r.isEmpty() || p.x() < r.x() - tolerance || p.x() > RightEdge(r) + tolerance ||
        p.y() < r.y() - tolerance || p.y() > BottomEdge(r) + tolerance)
        return None;
    int edge = None;
    if (std::abs(p.x() - r.x()) <= tolerance)
        edge |= Left;
    else if (std::abs(p.x() - RightEdge(r)) <= tolerance)
        edge |= Right;
    if (std::abs(p.y() - r.y()) <= tolerance)
        edge |= Top;
    else if (std::abs(p.y() - BottomEdge(r)) <= tolerance)
        edge |= Bottom;
    return edge == None ? Inside : edge;
}

void CaptureSession::Press(const QPoint& device, int tolerance) {
    const QPoint p = Clamp(device, grab_.device);
    dragStart_ = p;
    selectionAtStart_ = DeviceSelection();
    dragging_ = HitTest(p, tolerance);
    if (dragging_ == None) {
        dragging_ = -1;
        anchor_ = corner_ = p;
    }
    Changed();
}

void CaptureSession::Drag(const QPoint& device) {
    const QRect& bounds = grab_.device;
    const QPoint p = Clamp(device, bounds);
    if (dragging_ == -1) {
        corner_ = p;
    } else if (dragging_ == Inside) {
        QRect moved = selectionAtStart_.translated(device - dragStart_);
        moved.moveLeft(std::clamp(moved.x(), bounds.x(), RightEdge(bounds) - moved.width()));
        moved.moveTop(std::clamp(moved.y(), bounds.y(), BottomEdge(bounds) - moved.height()));
        anchor_ = moved.topLeft();
        corner_ = QPoint(RightEdge(moved), BottomEdge(moved));
    } else {
        const QRect& r = selectionAtStart_;
        anchor_ = QPoint(dragging_ & Left ? p.x() : r.x(), dragging_ & Top ? p.y() : r.y());
        corner_ = QPoint(dragging_ & Right ? p.x() : RightEdge(r),
                         dragging_ & Bottom ? p.y() : BottomEdge(r));
    }
    Changed();
}

void CaptureSession::Release() {
    if (dragging_ == None)
        return;
    dragging_ = None;
    Changed();
}

void CaptureSession::Changed() {
    const QRect selection = DeviceSelection();
    // The button goes to the monitor of the selection's last pixel, or to the
    // one holding most of it when that pixel is on no monitor.
    const QPoint last(RightEdge(selection) - 1, BottomEdge(selection) - 1);
    CaptureOverlay* chosen = nullptr;
    qint64 most = 0;
    for (auto& overlay : overlays_) {
        const QRect device = overlay->Monitor().device;
        if (device.contains(last)) {
            chosen = overlay.get();
            break;
        }
        const QRect shared = device.intersected(selection);
        if (qint64(shared.width()) * shared.height() > most) {
            most = qint64(shared.width()) * shared.height();
            chosen = overlay.get();
        }
    }
    for (auto& overlay : overlays_) {
        overlay->PlaceButton(selection, dragging_ == None && overlay.get() == chosen);
        overlay->update();
    }
}

void CaptureSession::Finish(bool confirmed) {
    if (finishedAlready_)
        return;
    finishedAlready_ = true;
    for (auto& overlay : overlays_) {
        overlay->ReleaseInput();
        overlay->hide();
    }
    if (finished_)
        finished_(confirmed && !DeviceSelection().isEmpty());
}
