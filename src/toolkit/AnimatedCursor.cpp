#include "toolkit/AnimatedCursor.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QWidget>
#include <algorithm>

TAnimatedCursor::TAnimatedCursor(TAniCursorData data, QObject* parent)
    : QObject(parent), data_(std::move(data)), cursors_(data_.Frames.size()),
      made_(data_.Frames.size(), false) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        Advance();
        UpdateTimer();
    });
}

TAnimatedCursor::~TAnimatedCursor() {
    // Owned by the application, we may go while it is being torn down; the
    // override stack is gone with it then.
    if (onScreen_ && QCoreApplication::instance())
        QGuiApplication::restoreOverrideCursor();
    for (const QPointer<QWidget>& c : controls_) {
        if (c)
            c->removeEventFilter(this);
    }
}

std::unique_ptr<TAnimatedCursor> TAnimatedCursor::LoadFromFile(const QString& path,
                                                               QObject* parent) {
    QFile file(path);
    // A pipe or device could feed us without end; a cursor is a regular file.
    if (!file.open(QIODevice::ReadOnly) || file.isSequential() ||
        file.size() > AniLimits::MaxFileBytes)
        return nullptr;
    TAniCursorData data;
    if (!ReadAniCursor(file.readAll(), data))
        return nullptr;
    return std::make_unique<TAnimatedCursor>(std::move(data), parent);
}

QCursor TAnimatedCursor::CurrentCursor() {
    if (data_.Steps.empty())
        return QCursor(Qt::ArrowCursor);
    const auto frame = size_t(data_.Steps[size_t(step_)].Frame);
    if (!made_[frame]) {
        const TCursorFrame& f = data_.Frames[frame];
        cursors_[frame] = QCursor(QPixmap::fromImage(f.Image), f.HotSpot.x(), f.HotSpot.y());
        made_[frame] = true;
    }
    return cursors_[frame];
}

void TAnimatedCursor::SetOnScreen(bool on) {
    if (on && !onScreen_)
        QGuiApplication::setOverrideCursor(CurrentCursor());
    else if (!on && onScreen_)
        QGuiApplication::restoreOverrideCursor();
    onScreen_ = on;
    UpdateTimer();
}

void TAnimatedCursor::Attach(QWidget* control) {
    if (!control)
        return;
    for (const QPointer<QWidget>& c : controls_) {
        if (c == control)
            return;
    }
    std::erase_if(controls_, [](const QPointer<QWidget>& c) { return c.isNull(); });
    controls_.emplace_back(control);
    control->setCursor(CurrentCursor());
    control->installEventFilter(this);
    if (control->underMouse())
        hovered_ = control;
    UpdateTimer();
}

void TAnimatedCursor::Detach(QWidget* control) {
    std::erase_if(controls_,
                  [control](const QPointer<QWidget>& c) { return c.isNull() || c == control; });
    if (control) {
        control->removeEventFilter(this);
        if (hovered_ == control)
            hovered_ = nullptr;
    }
    UpdateTimer();
}

void TAnimatedCursor::Advance() {
    if (data_.Steps.size() < 2)
        return;
    step_ = (step_ + 1) % int(data_.Steps.size());
    Apply();
}

bool TAnimatedCursor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter) {
        hovered_ = qobject_cast<QWidget*>(watched);
        Apply();
        UpdateTimer();
    } else if (event->type() == QEvent::Leave && hovered_ == watched) {
        hovered_ = nullptr;
        UpdateTimer();
    }
    return QObject::eventFilter(watched, event);
}

void TAnimatedCursor::UpdateTimer() {
    const bool shown = onScreen_ || hovered_;
    if (!shown || data_.Steps.size() < 2) {
        timer_.stop();
        return;
    }
    if (!timer_.isActive())
        timer_.start(data_.Steps[size_t(step_)].Jiffies * 1000 / 60);
}

void TAnimatedCursor::Apply() {
    if (!onScreen_ && !hovered_)
        return;
    const QCursor cursor = CurrentCursor();
    if (onScreen_)
        QGuiApplication::changeOverrideCursor(cursor);
    if (hovered_)
        hovered_->setCursor(cursor);
}
