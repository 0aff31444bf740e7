#include "CaptureOverlay.h"

#include "CaptureSession.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cmath>

namespace {

constexpr qreal kHandle = 6;      // logical pixels around an edge that grab it
constexpr int kGrabRetries = 300; // every 10 ms: three seconds for the window to appear
const QColor kShade(0, 0, 0, 110);
const QColor kFrame(30, 144, 255);

Qt::CursorShape CursorFor(int edge) {
    using E = CaptureSession::Edge;
    switch (edge) {
    case E::Inside:
        return Qt::SizeAllCursor;
    case E::Left:
    case E::Right:
        return Qt::SizeHorCursor;
    case E::Top:
    case E::Bottom:
        return Qt::SizeVerCursor;
    case E::Left | E::Top:
    case E::Right | E::Bottom:
        return Qt::SizeFDiagCursor;
    case E::Right | E::Top:
    case E::Left | E::Bottom:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::CrossCursor;
    }
}

} // namespace

CaptureOverlay::CaptureOverlay(CaptureSession& session, const MonitorGrab& monitor,
                               const QImage& frozen)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::Tool),
      session_(session), monitor_(monitor), frozen_(frozen) {
    frozen_.setDevicePixelRatio(monitor_.ratio);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    // The screen first: a geometry is read in the logical pixels of the
    // window's screen.
    if (monitor_.screen)
        setScreen(monitor_.screen);
    setGeometry(monitor_.screen ? monitor_.screen->geometry() : monitor_.device);
    done_ = new QPushButton(QStringLiteral("完成"), this);
    done_->setCursor(Qt::ArrowCursor);
    done_->setFocusPolicy(Qt::NoFocus);
    done_->hide();
    QObject::connect(done_, &QPushButton::clicked, this, [this] { session_.Finish(true); });
}

QPoint CaptureOverlay::ToDevice(const QPointF& local) const {
    // Qt scaled the device position by this window's own factor; undoing that
    // gives it back exactly, also for points beyond the window while dragging.
    return monitor_.device.topLeft() +
           QPoint(static_cast<int>(std::lround(local.x() * monitor_.ratio)),
                  static_cast<int>(std::lround(local.y() * monitor_.ratio)));
}

QRectF CaptureOverlay::ToLocal(const QRect& device) const {
    const QPoint at = device.topLeft() - monitor_.device.topLeft();
    return QRectF(at.x() / monitor_.ratio, at.y() / monitor_.ratio, device.width() / monitor_.ratio,
                  device.height() / monitor_.ratio);
}

void CaptureOverlay::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!watching_ && windowHandle()) {
        windowHandle()->installEventFilter(this);
        watching_ = true;
    }
}

bool CaptureOverlay::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        windowPosition_ = static_cast<QMouseEvent*>(event)->position();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

QPointF CaptureOverlay::Position(const QMouseEvent* event) const {
    // The same event when it rounds to what the widget got; otherwise the
    // widget's own (a child's event passed on, say).
    const QPointF p = event->position();
    if (std::abs(windowPosition_.x() - p.x()) < 1 && std::abs(windowPosition_.y() - p.y()) < 1)
        return windowPosition_;
    return p;
}

int CaptureOverlay::Tolerance() const {
    return static_cast<int>(std::lround(kHandle * monitor_.ratio));
}

void CaptureOverlay::TakeInput() {
    if (!isVisible())
        return;
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

void CaptureOverlay::ReleaseInput() {
    grabTries_ = kGrabRetries;
    if (QWindow* window = windowHandle())
        window->setKeyboardGrabEnabled(false);
}

void CaptureOverlay::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton)
        session_.Finish(false);
    else if (event->button() == Qt::LeftButton)
        session_.Press(ToDevice(Position(event)), Tolerance());
}

void CaptureOverlay::mouseMoveEvent(QMouseEvent* event) {
    const QPoint device = ToDevice(Position(event));
    if ((event->buttons() & Qt::LeftButton) && session_.Dragging())
        session_.Drag(device);
    else
        setCursor(CursorFor(session_.HitTest(device, Tolerance())));
}

void CaptureOverlay::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        session_.Release();
}

void CaptureOverlay::mouseDoubleClickEvent(QMouseEvent* event) {
    const QRect selection = session_.DeviceSelection();
    if (event->button() == Qt::LeftButton && !selection.isEmpty() &&
        selection.contains(ToDevice(Position(event))))
        session_.Finish(true);
}

// Closed by anything else (a window manager, a session ending): the capture
// must still return, as a cancel.
void CaptureOverlay::closeEvent(QCloseEvent* event) {
    session_.Finish(false);
    QWidget::closeEvent(event);
}

void CaptureOverlay::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        session_.Finish(false);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!session_.DeviceSelection().isEmpty())
            session_.Finish(true);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void CaptureOverlay::PlaceButton(const QRect& selection, bool here) {
    if (!here || selection.isEmpty()) {
        done_->hide();
        return;
    }
    const QRectF r = ToLocal(selection);
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
    const QRect device = session_.DeviceSelection();
    const QRectF bounds(rect());
    const QRectF r = ToLocal(device).intersected(bounds);
    if (r.isEmpty()) {
        painter.fillRect(bounds, kShade);
    } else {
        // Four bands rather than a region: a region would round a selection
        // edge between two device pixels to a whole logical pixel.
        painter.fillRect(QRectF(0, 0, bounds.width(), r.top()), kShade);
        painter.fillRect(QRectF(0, r.bottom(), bounds.width(), bounds.height() - r.bottom()),
                         kShade);
        painter.fillRect(QRectF(0, r.top(), r.left(), r.height()), kShade);
        painter.fillRect(QRectF(r.right(), r.top(), bounds.width() - r.right(), r.height()),
                         kShade);
    }
    if (device.isEmpty())
        return;
    // The whole selection, so that each monitor draws only its own part of
    // the frame, and the corners and size wherever they fall.
    const QRectF whole = ToLocal(device);
    painter.setPen(QPen(kFrame, 1));
    painter.drawRect(whole);
    for (const QPointF& corner :
         {whole.topLeft(), whole.topRight(), whole.bottomLeft(), whole.bottomRight()})
        painter.fillRect(QRectF(corner - QPointF(3, 3), QSizeF(6, 6)), kFrame);
    if (!monitor_.device.contains(device.topLeft()))
        return;
    const QString label = QStringLiteral("%1 × %2").arg(device.width()).arg(device.height());
    const QRect text = painter.fontMetrics().boundingRect(label).adjusted(-4, -2, 4, 2);
    QPointF at = whole.topLeft() - QPointF(0, text.height() + 2);
    if (at.y() < 0)
        at.setY(whole.top() + 2);
    const QRectF box(at, QSizeF(text.size()));
    painter.fillRect(box, QColor(0, 0, 0, 170));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, label);
}
