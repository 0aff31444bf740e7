#pragma once

#include "DesktopGrab.h"

#include <QImage>
#include <QPushButton>
#include <QWidget>

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
