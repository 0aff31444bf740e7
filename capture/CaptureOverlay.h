#pragma once

#include "DesktopGrab.h"

#include <QImage>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class CaptureSession;

// One monitor's full-screen window over its part of the frozen desktop. It
// turns its own logical positions into the desktop's device pixels with its
// monitor's scale and leaves the selection to the session.
class CaptureOverlay : public QWidget {
public:
    CaptureOverlay(CaptureSession& session, const MonitorGrab& monitor, const QImage& frozen);

    const MonitorGrab& Monitor() const { return monitor_; }
    QPoint ToDevice(const QPointF& local) const;
    QRectF ToLocal(const QRect& device) const;
    // Shows the button under a selection whose bottom-right corner is here,
    // hides it otherwise.
    void PlaceButton(const QRect& selection, bool here);

    // Takes the keyboard once the window is on the screen: nothing else gives
    // an override-redirect window the focus, and without it Escape would go to
    // the program's own window.
    void TakeInput();
    void ReleaseInput();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The pointer as the window saw it: widgets get whole logical pixels,
    // which on a scaled monitor skip device pixels.
    QPointF Position(const QMouseEvent* event) const;
    // Device pixels around an edge that grab it: a fixed logical size here.
    int Tolerance() const;

    CaptureSession& session_;
    MonitorGrab monitor_;
    QImage frozen_;
    QPushButton* done_ = nullptr;
    int grabTries_ = 0;
    QPointF windowPosition_;
    bool watching_ = false;
};

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
