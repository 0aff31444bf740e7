#include "toolkit/SpeakerImage.h"

#include <QPainter>
#include <QPainterPath>

TSpeakerImage::TSpeakerImage(QWidget* parent) : QToolButton(parent) {
    setFixedSize(32, 32);
    setCursor(Qt::PointingHandCursor);
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

QPixmap TSpeakerImage::SpeakerPixmap(const QColor& color, int size, qreal dpr) {
    QPixmap pixmap(QSize(size, size) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    QPainterPath body;
    body.moveTo(5, 12);
    body.lineTo(10, 12);
    body.lineTo(17, 6);
    body.lineTo(17, 26);
    body.lineTo(10, 20);
    body.lineTo(5, 20);
    body.closeSubpath();
    p.fillPath(body, color);
    QPen pen(color, 2.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(14, 11, 8, 10), -60 * 16, 120 * 16);
    p.drawArc(QRectF(13, 7, 13, 18), -60 * 16, 120 * 16);
    p.drawArc(QRectF(12, 3, 18, 26), -55 * 16, 110 * 16);
    return pixmap;
}

void TSpeakerImage::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    QPainter p(this);
    const QColor color = palette().color(QPalette::ButtonText);
    const int side = qMin(width(), height()) - 4;
    const QPixmap glyph = SpeakerPixmap(color, side, devicePixelRatioF());
    p.drawPixmap((width() - side) / 2, (height() - side) / 2, glyph);
}
