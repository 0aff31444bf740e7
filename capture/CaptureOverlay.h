#pragma once

#include <QImage>
#include <QPointF>
#include <QPushButton>
#include <QRectF>
#include <QWidget>
#include <functional>

// A full-screen window over the frozen desktop in which the user drags and
// adjusts a rectangle. It works in logical coordinates and hands back the
// chosen part of the frozen picture in device pixels.
class CaptureOverlay : public QWidget {
public:
    // frozen holds the whole desktop in device pixels; desktop is its logical
    // geometry; ratio maps one to the other.
    CaptureOverlay(const QImage& frozen, const QRect& desktop, qreal ratio,
                   std::function<void(bool confirmed)> finished);

    // The selection in device pixels of the frozen picture (empty when none).
    QRect DeviceSelection() const;
    QImage ChosenPicture() const { return frozen_.copy(DeviceSelection()); }

    // Takes the keyboard once the window is on the screen: nothing else gives
    // an override-redirect window the focus, and without it Escape would go to
    // the program's own window.
    void TakeInput();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Which part of the selection a point grabs: edges as bits, 15 for the inside.
    enum Edge { None = 0, Left = 1, Top = 2, Right = 4, Bottom = 8, Inside = 15 };
    int HitTest(const QPointF& point) const;
    void Finish(bool confirmed);
    void PlaceButton();
    QRectF Normalised() const { return selection_.normalized(); }
    Qt::CursorShape CursorFor(int edge) const;

    QImage frozen_;
    QRect desktop_;
    qreal ratio_;
    std::function<void(bool)> finished_;
    QPushButton* done_ = nullptr;

    QRectF selection_;    // logical, relative to the window
    int dragging_ = None; // what the current drag changes; -1 while drawing anew
    QPointF dragStart_;
    QRectF selectionAtStart_;
    bool finishedAlready_ = false;
    int grabTries_ = 0;
};
