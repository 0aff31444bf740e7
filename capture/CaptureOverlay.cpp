#include "CaptureOverlay.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <cmath>

namespace {

constexpr qreal kHandle = 6;      // logical pixels around an edge that grab it
constexpr int kGrabRetries = 300; // every 10 ms: three seconds for the window to appear
const QColor kShade(0, 0, 0, 110);
const QColor kFrame(30, 144, 255);

} // namespace

CaptureOverlay::CaptureOverlay(const QImage& frozen, const QRect& desktop, qreal ratio,
                               std::function<void(bool confirmed)> finished)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::Tool),
      frozen_(frozen), desktop_(desktop), ratio_(ratio), finished_(std::move(finished)) {
    frozen_.setDevicePixelRatio(ratio_);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setGeometry(desktop_);
    done_ = new QPushButton(QStringLiteral("完成"), this);
    done_->setCursor(Qt::ArrowCursor);
    done_->setFocusPolicy(Qt::NoFocus);
    done_->hide();
    QObject::connect(done_, &QPushButton::clicked, this, [this] { Finish(true); });
}

QRect CaptureOverlay::DeviceSelection() const {
    const QRectF r = Normalised();
    if (r.isEmpty())
        return {};
    // Edges are rounded on their own, so a drag between two device pixels
    // gives exactly the pixels between them whatever the scale factor.
    const int left = static_cast<int>(std::lround(r.left() * ratio_));
    const int top = static_cast<int>(std::lround(r.top() * ratio_));
    const int right = static_cast<int>(std::lround(r.right() * ratio_));
    const int bottom = static_cast<int>(std::lround(r.bottom() * ratio_));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(frozen_.rect());
}

void CaptureOverlay::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    QTimer::singleShot(0, this, [this] { TakeInput(); });
}

void CaptureOverlay::TakeInput() {
    raise();
    activateWindow();
    QWindow* window = windowHandle();
    const bool grabbed = window && window->isExposed() && window->setKeyboardGrabEnabled(true);
    if (grabbed) {
        window->requestActivate();
        return;
    }
    // Mapping takes a moment; the grab fails until the window is viewable.
    if (++grabTries_ < kGrabRetries)
        QTimer::singleShot(10, this, [this] { TakeInput(); });
}

int CaptureOverlay::HitTest(const QPointF& p) const {
    const QRectF r = Normalised();
    if (r.isEmpty() || !r.adjusted(-kHandle, -kHandle, kHandle, kHandle).contains(p))
        return None;
    int edge = None;
    if (std::abs(p.x() - r.left()) <= kHandle)
        edge |= Left;
    else if (std::abs(p.x() - r.right()) <= kHandle)
        edge |= Right;
    if (std::abs(p.y() - r.top()) <= kHandle)
        edge |= Top;
    else if (std::abs(p.y() - r.bottom()) <= kHandle)
        edge |= Bottom;
    return edge == None ? Inside : edge;
}

Qt::CursorShape CaptureOverlay::CursorFor(int edge) const {
    switch (edge) {
    case Inside:
        return Qt::SizeAllCursor;
    case Left:
    case Right:
        return Qt::SizeHorCursor;
    case Top:
    case Bottom:
        return Qt::SizeVerCursor;
    case Left | Top:
    case Right | Bottom:
        return Qt::SizeFDiagCursor;
    case Right | Top:
    case Left | Bottom:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::CrossCursor;
    }
}

void CaptureOverlay::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        Finish(false);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF p = event->position();
    dragStart_ = p;
    selection_ = Normalised();
    selectionAtStart_ = selection_;
    dragging_ = HitTest(p);
    if (dragging_ == None) {
        dragging_ = -1;
        selection_ = QRectF(p, p);
        done_->hide();
    }
    update();
}

void CaptureOverlay::mouseMoveEvent(QMouseEvent* event) {
    const QPointF p = event->position();
    if (!(event->buttons() & Qt::LeftButton) || dragging_ == None) {
        setCursor(CursorFor(HitTest(p)));
        return;
    }
    const QRectF bounds(QPointF(0, 0), QSizeF(size()));
    const QPointF clamped(std::clamp(p.x(), 0.0, bounds.width()),
                          std::clamp(p.y(), 0.0, bounds.height()));
    if (dragging_ == -1) {
        selection_.setBottomRight(clamped);
    } else if (dragging_ == Inside) {
        QRectF moved = selectionAtStart_.translated(p - dragStart_);
        moved.moveLeft(std::clamp(moved.left(), 0.0, bounds.width() - moved.width()));
        moved.moveTop(std::clamp(moved.top(), 0.0, bounds.height() - moved.height()));
        selection_ = moved;
    } else {
        QRectF r = selectionAtStart_;
        if (dragging_ & Left)
            r.setLeft(clamped.x());
        if (dragging_ & Right)
            r.setRight(clamped.x());
        if (dragging_ & Top)
            r.setTop(clamped.y());
        if (dragging_ & Bottom)
            r.setBottom(clamped.y());
        selection_ = r;
    }
    update();
}

void CaptureOverlay::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = None;
    selection_ = Normalised();
    PlaceButton();
    update();
}

void CaptureOverlay::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !DeviceSelection().isEmpty() &&
        Normalised().contains(event->position()))
        Finish(true);
}

// Closed by anything else (a window manager, a session ending): the capture
// must still return, as a cancel.
void CaptureOverlay::closeEvent(QCloseEvent* event) {
    Finish(false);
    QWidget::closeEvent(event);
}

void CaptureOverlay::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        Finish(false);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!DeviceSelection().isEmpty())
            Finish(true);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void CaptureOverlay::PlaceButton() {
    if (DeviceSelection().isEmpty()) {
        done_->hide();
        return;
    }
    const QRectF r = Normalised();
    done_->adjustSize();
    QPoint at(static_cast<int>(r.right()) - done_->width(), static_cast<int>(r.bottom()) + 4);
    // Inside the selection's bottom when there is no room below it.
    if (at.y() + done_->height() > height())
        at.setY(static_cast<int>(r.bottom()) - done_->height() - 4);
    at.setX(std::max(0, at.x()));
    done_->move(at);
    done_->show();
    done_->raise();
}

void CaptureOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), frozen_);
    const QRectF r = Normalised();
    QRegion shade(rect());
    if (!r.isEmpty())
        shade -= QRegion(r.toAlignedRect());
    painter.setClipRegion(shade);
    painter.fillRect(rect(), kShade);
    painter.setClipping(false);
    if (r.isEmpty())
        return;
    painter.setPen(QPen(kFrame, 1));
    painter.drawRect(r);
    for (const QPointF& corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
        painter.fillRect(QRectF(corner - QPointF(3, 3), QSizeF(6, 6)), kFrame);
    const QRect device = DeviceSelection();
    const QString label = QStringLiteral("%1 × %2").arg(device.width()).arg(device.height());
    const QRect text = painter.fontMetrics().boundingRect(label).adjusted(-4, -2, 4, 2);
    QPointF at = r.topLeft() - QPointF(0, text.height() + 2);
    if (at.y() < 0)
        at.setY(r.top() + 2);
    const QRectF box(at, QSizeF(text.size()));
    painter.fillRect(box, QColor(0, 0, 0, 170));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, label);
}

void CaptureOverlay::Finish(bool confirmed) {
    if (finishedAlready_)
        return;
    finishedAlready_ = true;
    if (QWindow* window = windowHandle())
        window->setKeyboardGrabEnabled(false);
    hide();
    if (finished_)
        finished_(confirmed && !DeviceSelection().isEmpty());
}
