#include "toolkit/ClickLabel.h"

#include <QMouseEvent>

TClickLabel::TClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void TClickLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit doubleClicked();
        event->accept();
        return;
    }
    QLabel::mouseDoubleClickEvent(event);
}
