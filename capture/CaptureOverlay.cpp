#include "CaptureOverlay.h"

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
