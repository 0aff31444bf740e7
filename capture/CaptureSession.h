#pragma once

#include "DesktopGrab.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <functional>
#include <memory>
#include <vector>

class CaptureOverlay;

// The capture across every monitor: one overlay each and one selection in
// the desktop's device pixels, so that a region may span monitors of
// different scales and still come out pixel for pixel.
class CaptureSession {
public:
    CaptureSession(DesktopGrab grab, std::function<void(bool confirmed)> finished);
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    void Show();
    // The selection in device pixels of the desktop (empty when none).
    QRect DeviceSelection() const;
    QImage ChosenPicture() const;

    // Which part of the selection a point grabs: edges as bits, 15 for the inside.
    enum Edge { None = 0, Left = 1, Top = 2, Right = 4, Bottom = 8, Inside = 15 };
    int HitTest(const QPoint& device, int tolerance) const;

    void Press(const QPoint& device, int tolerance);
    void Drag(const QPoint& device);
    void Release();
    bool Dragging() const { return dragging_ != None; }
    void Finish(bool confirmed);

private:
    void Changed();

    DesktopGrab grab_;
    std::function<void(bool)> finished_;
    std::vector<std::unique_ptr<CaptureOverlay>> overlays_;

    // Edges in device pixels, right and bottom exclusive; unordered while drawn.
    QPoint anchor_;
    QPoint corner_;
    int dragging_ = None; // what the current drag changes; -1 while drawing anew
    QPoint dragStart_;
    QRect selectionAtStart_;
    bool finishedAlready_ = false;
};
